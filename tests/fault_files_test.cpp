// Files the program writes under hostile conditions: output targets that are
// no regular file, a disk that fills up while writing, and the run log torn,
// damaged, fed hostile texts and written by many processes at once.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

#include "images/ProjectFile.h"
#include "link/CommDefs.h"
#include "operations/RunLog.h"
#include "operations/SaveImage.h"
#include "operations/Selection.h"
#include "platform/OutputFile.h"
#include "programmers/Discovery.h"
#include "programmers/UnitState.h"
#include "sim/Line.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/HexText.h"
#include "tests/support/ProcessRun.h"
#include "tests/support/SimLine.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

// ---- What a path is, to tell that it was left alone ----

struct Snapshot {
  bool exists = false;
  mode_t mode = 0;
  ino_t inode = 0;
  dev_t rdev = 0;
  std::string link;                   // a link's target
  std::string content;                // a regular file's bytes
  std::vector<std::string> entries;   // a folder's names
  bool operator==(const Snapshot& o) const {
    return exists == o.exists && mode == o.mode && inode == o.inode && rdev == o.rdev && link == o.link &&
           content == o.content && entries == o.entries;
  }
};

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

Snapshot Take(const std::string& path) {
  Snapshot s;
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return s;
  s.exists = true;
  s.mode = info.st_mode;
  s.inode = info.st_ino;
  s.rdev = info.st_rdev;
  if (S_ISLNK(info.st_mode)) s.link = fs::read_symlink(path).string();
  if (S_ISREG(info.st_mode)) s.content = ReadWholeFile(path);
  if (S_ISDIR(info.st_mode)) s.entries = Names(path);
  return s;
}

// ---- Output targets ----

struct Target {
  const char* name;
  const char* kind;   // as the refusal names it
  // Makes the target in `dir` and returns its path; empty when it cannot be made here.
  std::function<std::string(const std::string& dir)> make;
};

std::string MakeFifo(const std::string& dir, const std::string& name) {
  const std::string path = dir + "/" + name;
  return ::mkfifo(path.c_str(), 0666) == 0 ? path : std::string();
}

const Target Targets[] = {
    {"Fifo", "a FIFO", [](const std::string& dir) { return MakeFifo(dir, "out.hex"); }},
    {"CharDevice", "a character device",
     [](const std::string& dir) {
       // A null device of the test's own: a write that got through would reach no system file.
       const std::string path = dir + "/out.hex";
       if (::mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) return path;
       // Without the right to make one, the system's cannot be replaced either.
       return ::geteuid() != 0 ? std::string("/dev/null") : std::string();
     }},
    {"Folder", "a folder",
     [](const std::string& dir) {
       const std::string path = dir + "/out.hex";
       fs::create_directory(path);
       std::ofstream(path + "/inside.txt") << "kept";
       return path;
     }},
    {"Socket", "a socket",
     [](const std::string& dir) {
       const std::string path = dir + "/out.hex";
       const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
       sockaddr_un address{};
       address.sun_family = AF_UNIX;
       std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
       const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
       ::close(fd);
       return bound ? path : std::string();
     }},
    {"LinkToFifo", "a FIFO",
     [](const std::string& dir) {
       const std::string fifo = MakeFifo(dir, "pipe");
       const std::string path = dir + "/out.hex";
       fs::create_symlink(fifo, path);
       return path;
     }},
};

// A unit on the in-process line with a 4 KiB image in slot 2, selected.
class OutputFixture {
 public:
  OutputFixture() {
    ConnectSimLine(platform.port, line);
    platform.events.OnTick = [this] { line.advance(platform.port.nowMs); };
    AppPath = data.path();
    data.Write("device.inf",
               "Type,Family,Device,Flash,Blank,DevId,FileType,VMin,VMax,Flags\r\n"
               "6,ATmega,mega,4096,255,&H312,HEX,1.8,5.5,1040\r\n");
    vrxsim::UnitConfig config;
    config.address = 3;
    config.type = 6;
    config.slots = 4;
    config.slotSizeCode = 64;
    vrxsim::StoredImage image;
    image.slot = 2;
    image.size = 4096;
    image.device = 0x312;
    config.images.push_back(image);
    line.addUnit(config);
    selected = AcquireProgrammerAt(3);
    SelectProgrammer();
    ImageNumber = 2;
  }
  FakePlatform platform;
  vrxsim::Line line;
  TempDir data;
  bool selected = false;
};

RunRecord Record(const std::string& time, const std::string& image, const std::string& errorText = "x") {
  RunRecord r;
  r.time = time;
  r.station = "bench-7";
  r.line = "/dev/ttyUSB0";
  r.address = 3;
  r.programmerType = "VRX-AVR";
  r.firmware = "3.010";
  r.slot = 2;
  r.image = image;
  r.deviceType = "ATmega328P";
  r.checksum = "B41E";
  r.operation = "program";
  r.port = 1;
  r.result = "Verify Failed";
  r.code = 18;
  r.durationMs = 1234;
  r.errorTitle = "Kestrin - Program Image";
  r.errorText = "Function: GetStatus\r\nError Code:  1500\r\n" + errorText;
  return r;
}

// A writer: true when it reported success; `message` is what it said otherwise.
struct Writer {
  const char* name;
  std::function<bool(OutputFixture& f, const std::string& target, std::string& message)> write;
};

const char* const HexName = "image.hex";

// kestrin-cli, its output in `dir`, stopped if it waits for more than a minute.
ProcessResult Cli(const std::vector<std::string>& args, const std::string& dir) {
  return RunProcess(KESTRIN_CLI_PATH, args, dir,
                    "XDG_CONFIG_HOME='" + dir + "' XDG_DATA_HOME='" + dir + "' timeout -s KILL 60");
}

const Writer Writers[] = {
    {"Save",
     [](OutputFixture&, const std::string& target, std::string& message) {
       const bool ok = SaveImageAs(target, false);
       message = LastErrorText;
       return ok;
     }},
    {"SaveIic",
     [](OutputFixture&, const std::string& target, std::string& message) {
       const bool ok = SaveImageAs(target, true);
       message = LastErrorText;
       return ok;
     }},
    {"Export",
     [](OutputFixture&, const std::string& target, std::string& message) {
       return ExportRunRecords(target, {Record("2026-12-01T00:00:00.000Z", "=1+1")}, message);
     }},
    {"Project",
     [](OutputFixture&, const std::string& target, std::string& message) {
       const bool ok = WriteProjectFile(target, "Job", "ATmega", "mega");
       message = LastErrorText;
       return ok;
     }},
    {"ReadFlash",
     [](OutputFixture& f, const std::string& target, std::string& message) {
       // No line behind the device: a refusal comes before the line is opened.
       const ProcessResult r = Cli({"read-flash", "--device", f.data.path() + "/no-line", "--address", "3", "0",
                                    "16", "--out", target},
                                   f.data.path());
       message = r.err;
       EXPECT_NE(r.status, 0);
       return r.status == 0;
     }},
    {"Convert",
     [](OutputFixture& f, const std::string& target, std::string& message) {
       f.data.Write(HexName, DataRecord(0, {1, 2, 3, 4}) + EndRecord());
       const ProcessResult r = Cli({"convert", "--device-type", "ATmega328P", "--type", "6", "--file",
                                    f.data.path() + "/" + HexName, "--out", target},
                                   f.data.path());
       message = r.err;
       return r.status == 0;
     }},
};

class RefusedTarget : public ::testing::TestWithParam<std::tuple<Target, Writer>> {};

// The target is left exactly as it was, with an error that names it; nothing
// is made beside it.
TEST_P(RefusedTarget, IsLeftAloneWithAnErrorNamingIt) {
  const Target& target = std::get<0>(GetParam());
  const Writer& writer = std::get<1>(GetParam());
  OutputFixture f;
  ASSERT_TRUE(f.selected) << LastErrorText;
  TempDir dir;
  const std::string path = target.make(dir.path());
  if (path.empty()) GTEST_SKIP() << "cannot make " << target.name << " here";
  const Snapshot before = Take(path);
  const std::vector<std::string> namesBefore = Names(dir.path());
  const Snapshot linked = target.name == std::string("LinkToFifo") ? Take(dir.path() + "/pipe") : Snapshot();

  const size_t frames = f.line.log().size();
  std::string message;
  EXPECT_FALSE(writer.write(f, path, message));
  EXPECT_EQ(f.line.log().size(), frames);   // refused before anything was uploaded
  EXPECT_NE(message.find(path + " is " + target.kind + ", not a regular file"), std::string::npos) << message;
  EXPECT_TRUE(Take(path) == before);
  EXPECT_EQ(Names(dir.path()), namesBefore);
  if (linked.exists) {
    EXPECT_TRUE(Take(dir.path() + "/pipe") == linked);
    EXPECT_TRUE(S_ISFIFO(linked.mode));
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, RefusedTarget, ::testing::Combine(::testing::ValuesIn(Targets),
                                                                    ::testing::ValuesIn(Writers)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) + std::get<1>(info.param).name;
                         });

class RegularTarget : public ::testing::TestWithParam<Writer> {};

// An existing regular file is replaced by a new one; a link to one keeps
// pointing at it, and the file it names gets the new bytes.
TEST_P(RegularTarget, IsReplacedWholeAndALinkStaysALink) {
  OutputFixture f;
  ASSERT_TRUE(f.selected) << LastErrorText;
  TempDir dir;
  const std::string file = dir.Write("real.out", "old bytes");
  ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
  const std::string link = dir.path() + "/link.out";
  fs::create_symlink(file, link);
  std::string message;
  ASSERT_TRUE(GetParam().write(f, link, message)) << message;
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_NE(dir.Read("real.out"), "old bytes");
  EXPECT_FALSE(dir.Read("real.out").empty());
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, fs::perms(0640));
  EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"link.out", "real.out"}));
}

// read-flash replaces a file only with a programmer behind it: FullDisk covers it on the simulated line.
std::vector<Writer> WritersWithoutALine() {
  std::vector<Writer> writers;
  for (const Writer& w : Writers)
    if (std::string(w.name) != "ReadFlash") writers.push_back(w);
  return writers;
}

INSTANTIATE_TEST_SUITE_P(Writers, RegularTarget, ::testing::ValuesIn(WritersWithoutALine()),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- A disk that fills up while writing ----

// Runs `body` in a child process whose files cannot grow past `limit` bytes;
// a write past it fails (EFBIG) as on a full disk, instead of killing it.
int InChildWithFileLimit(rlim_t limit, const std::function<int()>& body) {
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit cap{limit, limit};
    ::setrlimit(RLIMIT_FSIZE, &cap);
    ::_exit(body());
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// kestrin-cli run under the same limit; its output goes to `outDir`.
ProcessResult CliWithFileLimit(const std::vector<std::string>& args, const std::string& outDir, rlim_t limit) {
  std::vector<std::string> all{KESTRIN_CLI_PATH};
  all.insert(all.end(), args.begin(), args.end());
  const std::string home = "XDG_CONFIG_HOME=" + outDir, data = "XDG_DATA_HOME=" + outDir;
  ProcessResult r;
  r.status = InChildWithFileLimit(limit, [&] {
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int out = ::open((outDir + "/out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open((outDir + "/err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(out, 1);
    ::dup2(err, 2);
    ::putenv(const_cast<char*>(home.c_str()));
    ::putenv(const_cast<char*>(data.c_str()));
    ::execv(argv[0], argv.data());
    return 127;
  });
  r.out = ReadWholeFile(outDir + "/out");
  r.err = ReadWholeFile(outDir + "/err");
  return r;
}

class FullDisk : public ::testing::TestWithParam<Writer> {};

// The new bytes do not fit: the existing file keeps its bytes exactly and no
// temporary file is left beside it.
TEST_P(FullDisk, LeavesTheExistingFileExactlyAsItWas) {
  const Writer& writer = GetParam();
  OutputFixture f;
  ASSERT_TRUE(f.selected) << LastErrorText;
  TempDir dir, outDir;
  std::string old;
  for (int i = 0; i < 3000; ++i) old += static_cast<char>('A' + i % 26);
  const std::string target = dir.Write("kept.out", old);
  const rlim_t limit = 64;   // below every output here
  int status = -1;
  std::string err;
  if (writer.name == std::string("ReadFlash") || writer.name == std::string("Convert")) {
    std::unique_ptr<SimProcess> sim;
    std::vector<std::string> args;
    if (writer.name == std::string("ReadFlash")) {
      sim = std::make_unique<SimProcess>(
          std::vector<std::string>{"--programmer", "address=6,type=6,fw=3.010,slots=4,slotsize=256,baud=115200"});
      ASSERT_TRUE(sim->ready());
      args = {"read-flash", "--device", sim->linkPath(), "--address", "6", "0x20000", "4096", "--out", target};
    } else {
      f.data.Write(HexName, DataRecord(0, {1, 2, 3, 4}) + EndRecord());
      args = {"convert", "--device-type", "ATmega328P", "--type", "6", "--file", f.data.path() + "/" + HexName,
              "--out", target};
    }
    // The limit is for the output; the error text must still fit beside it.
    const ProcessResult r = CliWithFileLimit(args, outDir.path(), 2048);
    status = r.status;
    err = r.err;
    EXPECT_NE(err.find(target + ": File too large"), std::string::npos) << err;
  } else {
    status = InChildWithFileLimit(limit, [&] {
      std::string message;
      return writer.write(f, target, message) ? 0 : 1;
    });
  }
  EXPECT_NE(status, 0);
  EXPECT_TRUE(dir.Read("kept.out") == old);
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"kept.out"});
}

INSTANTIATE_TEST_SUITE_P(Writers, FullDisk, ::testing::ValuesIn(Writers),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- The run log ----

class RunLogFaults : public ::testing::Test {
 protected:
  RunLogFaults() { RunLogFolder = dir.path() + "/Kestrin"; }
  std::string Csv(const std::string& month = "2026-12") const { return RunLogFolder + "/runs-" + month + ".csv"; }
  std::string Jsonl(const std::string& month = "2026-12") const {
    return RunLogFolder + "/runs-" + month + ".jsonl";
  }
  static std::vector<RunRecord> ReadBack(const std::string& path, size_t* skipped = nullptr) {
    std::vector<RunRecord> records;
    EXPECT_TRUE(ReadRunLogFile(path, [&](const RunRecord& r) { records.push_back(r); }, skipped));
    return records;
  }
  static std::vector<std::string> Images(const std::vector<RunRecord>& records) {
    std::vector<std::string> images;
    for (const RunRecord& r : records) images.push_back(r.image);
    return images;
  }
  static std::vector<QJsonObject> JsonLines(const std::string& path) {
    std::vector<QJsonObject> objects;
    std::ifstream in(path, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
      QJsonParseError error{};
      const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
      EXPECT_EQ(error.error, QJsonParseError::NoError) << line;
      objects.push_back(doc.object());
    }
    return objects;
  }

  FakePlatform platform;
  TempDir dir;
};

struct TornCase {
  const char* name;
  bool jsonShort;   // the CSV file takes the record, the JSON file does not
};

class TornAppend : public RunLogFaults, public ::testing::WithParamInterface<TornCase> {};

// A write cut short by a full disk is cut back off: the files hold whole
// records only, the pair stays the same, and later records read back whole.
TEST_P(TornAppend, IsCutBackAndLaterRecordsReadWhole) {
  AppendRunRecords({Record("2026-12-01T08:00:00.000Z", "first")});
  const auto csvBefore = fs::file_size(Csv()), jsonBefore = fs::file_size(Jsonl());
  const RunRecord big = Record("2026-12-01T09:00:00.000Z", "lost", std::string(3000, 'e') + ", \"quoted\"");
  const size_t csvRecord = RunRecordCsv(big).size(), jsonRecord = RunRecordJson(big).size() + 1;
  rlim_t limit = csvBefore + csvRecord / 2;
  if (GetParam().jsonShort) {
    limit = std::max(csvBefore + csvRecord, jsonBefore + 10);
    ASSERT_LT(limit, jsonBefore + jsonRecord);   // the fixture: only the JSON file is cut short
  }
  const int lost = InChildWithFileLimit(limit, [&] {
    AppendRunRecords({big});
    return RunLogLost.empty() ? 0 : 1;
  });
  EXPECT_EQ(lost, 1);
  EXPECT_EQ(fs::file_size(Csv()), csvBefore);
  EXPECT_EQ(fs::file_size(Jsonl()), jsonBefore);

  AppendRunRecords({Record("2026-12-02T08:00:00.000Z", "second"), Record("2026-12-03T08:00:00.000Z", "third")});
  size_t skipped = 0;
  EXPECT_EQ(Images(ReadBack(Csv(), &skipped)), (std::vector<std::string>{"first", "second", "third"}));
  EXPECT_EQ(skipped, 0u);
  const std::vector<QJsonObject> json = JsonLines(Jsonl());
  ASSERT_EQ(json.size(), 3u);
  EXPECT_EQ(json[2]["image"].toString(), "third");
  EXPECT_TRUE(RunLogLost.empty());   // the child's loss was the child's
}

INSTANTIATE_TEST_SUITE_P(Files, TornAppend, ::testing::Values(TornCase{"CsvShort", false}, TornCase{"JsonShort", true}),
                         [](const auto& info) { return std::string(info.param.name); });

// A record lost is said in the status bar once, and kept for the command line.
TEST_F(RunLogFaults, ALostRecordIsReportedWithTheFolder) {
  fs::create_directories(dir.path());
  std::ofstream(RunLogFolder) << "a file where the folder should be";
  AppendRunRecords({Record("2026-12-01T08:00:00.000Z", "one")});
  EXPECT_EQ(RunLogLost.rfind(RunLogFolder + ": ", 0), 0u) << RunLogLost;
  EXPECT_EQ(platform.window.panels["Status"].rfind("Run log not written: " + RunLogFolder + ": ", 0), 0u)
      << platform.window.panels["Status"];
  EXPECT_TRUE(RunLogTried);
}

// A FIFO where a month's file should be is neither waited on nor replaced:
// the record is lost and said so, and the other file of the pair keeps none.
TEST_F(RunLogFaults, AFifoInPlaceOfALogFileHoldsNothingUp) {
  fs::create_directories(RunLogFolder);
  ASSERT_EQ(::mkfifo(Csv().c_str(), 0644), 0);
  ASSERT_EQ(::mkfifo(Jsonl("2026-11").c_str(), 0644), 0);
  AppendRunRecords({Record("2026-12-01T08:00:00.000Z", "december")});
  EXPECT_NE(RunLogLost.find("runs-2026-12.csv: "), std::string::npos) << RunLogLost;
  RunLogLost.clear();
  AppendRunRecords({Record("2026-11-01T08:00:00.000Z", "november")});
  EXPECT_NE(RunLogLost.find("runs-2026-11.jsonl: "), std::string::npos) << RunLogLost;
  EXPECT_TRUE(ReadBack(Csv("2026-11")).empty());
  EXPECT_TRUE(fs::is_fifo(Csv()));
  EXPECT_TRUE(fs::is_fifo(Jsonl("2026-11")));
  EXPECT_FALSE(ReadRunLogFile(Csv(), [](const RunRecord&) {}));
}

struct DamagedCase {
  const char* name;
  std::function<std::string(const std::string& whole)> damage;   // the damaged record's text from its whole one
  bool lineEnd;             // the damaged record is followed by a line end before the next record
  size_t skipped;
};

class DamagedRecord : public RunLogFaults, public ::testing::WithParamInterface<DamagedCase> {};

// Whatever was cut off, every whole record after it is read back.
TEST_P(DamagedRecord, HidesNoWholeRecord) {
  const DamagedCase& c = GetParam();
  fs::create_directories(RunLogFolder);
  const RunRecord a = Record("2026-12-01T08:00:00.000Z", "before"), b = Record("2026-12-01T09:00:00.000Z", "cut"),
                  d = Record("2026-12-01T10:00:00.000Z", "after, \"one\""),
                  e = Record("2026-12-01T11:00:00.000Z", "after two");
  std::string text = CsvLine(RunLogColumns()) + RunRecordCsv(a) + c.damage(RunRecordCsv(b));
  if (c.lineEnd) text += "\r\n";
  text += RunRecordCsv(d) + RunRecordCsv(e);
  std::ofstream(Csv(), std::ios::binary) << text;
  size_t skipped = 0;
  EXPECT_EQ(Images(ReadBack(Csv(), &skipped)), (std::vector<std::string>{"before", "after, \"one\"", "after two"}));
  EXPECT_EQ(skipped, c.skipped);
}

// Cut off in the middle of the error report's second line, inside its quotes.
std::string CutInsideErrorText(const std::string& whole) { return whole.substr(0, whole.find("Code")); }

INSTANTIATE_TEST_SUITE_P(
    Cuts, DamagedRecord,
    ::testing::Values(
        DamagedCase{"InsideAQuotedFieldThenTheNextRecord", CutInsideErrorText, false, 1},
        DamagedCase{"InsideAQuotedFieldThenALineEnd", CutInsideErrorText, true, 1},
        DamagedCase{"InsideAnUnquotedField", [](const std::string& w) { return w.substr(0, 40); }, false, 1},
        DamagedCase{"AQuoteNeverClosedOverManyLines",
                    [](const std::string& w) { return CutInsideErrorText(w) + "\r\nmore\r\n\"x\r\n"; },
                    false, 1},
        DamagedCase{"TwoCutsInARow",
                    [](const std::string& w) { return CutInsideErrorText(w) + w.substr(0, 60); }, false, 2},
        DamagedCase{"ASecondHeader", [](const std::string&) { return CsvLine(RunLogColumns()); }, false, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// The command line says how many damaged records it skipped, and prints the rest.
TEST_F(RunLogFaults, TheLogCommandCountsWhatItSkipped) {
  fs::create_directories(RunLogFolder);
  const std::string cut = RunRecordCsv(Record("2026-12-01T09:00:00.000Z", "cut"));
  std::ofstream(Csv(), std::ios::binary) << CsvLine(RunLogColumns()) + CutInsideErrorText(cut) +
                                                RunRecordCsv(Record("2026-12-01T10:00:00.000Z", "whole")) +
                                                "garbage\r\n" +
                                                RunRecordCsv(Record("2026-12-01T11:00:00.000Z", "=1+1"));
  const ProcessResult r = RunProcess(KESTRIN_CLI_PATH, {"log", "--json"}, dir.path(),
                                     "XDG_DATA_HOME='" + dir.path() + "' XDG_CONFIG_HOME='" + dir.path() + "'");
  EXPECT_EQ(r.status, 0) << r.err;
  const QJsonArray records = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).array();
  ASSERT_EQ(records.size(), 2) << r.out;
  EXPECT_EQ(records[0].toObject()["image"].toString(), "whole");
  EXPECT_EQ(records[1].toObject()["image"].toString(), "=1+1");
  EXPECT_NE(r.err.find("2 damaged run log records skipped"), std::string::npos) << r.err;
}

struct NameCase {
  const char* name;
  std::string image;
  bool formula;   // a spreadsheet would run it
};

const NameCase NameCases[] = {
    {"Command", "=cmd|' /C calc'!A0", true},
    {"Sum", "@SUM(A1)", true},
    {"Plus", "+1+1", true},
    {"Minus", "-2", true},
    {"Tab", "\tcalc", true},
    {"CarriageReturn", "\r=1", true},
    {"EqualsAfterComma", "=A1,B1", true},
    {"ApostropheBeforeEquals", "'=1", false},   // kept apart from a guarded "=1"
    {"Apostrophe", "'plain", false},
    {"Plain", "Board 7", false},
    {"InnerEquals", "a=b+c", false},
    {"Empty", "", false},
};

class HostileName : public RunLogFaults, public ::testing::WithParamInterface<NameCase> {};

// In the CSV files a formula is a text behind an apostrophe; the JSON keeps
// the name as it is, and reading the CSV gives back the name as it was.
TEST_P(HostileName, IsATextInTheCsvAndAsItIsInTheJson) {
  const NameCase& c = GetParam();
  AppendRunRecords({Record("2026-12-01T08:00:00.000Z", c.image)});
  std::string cell = c.formula || c.image.rfind("'=", 0) == 0 ? "'" + c.image : c.image;
  cell = CsvField(cell);
  const std::string csv = ReadWholeFile(Csv());
  EXPECT_NE(csv.find(",2," + cell + ",ATmega328P,"), std::string::npos) << csv;
  const std::vector<QJsonObject> json = JsonLines(Jsonl());
  ASSERT_EQ(json.size(), 1u);
  EXPECT_EQ(json[0]["image"].toString().toStdString(), c.image);
  const std::vector<RunRecord> back = ReadBack(Csv());
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].image, c.image);

  // The Run Log window's export writes the same cell, and reads back the same.
  const std::string exported = dir.path() + "/export.csv";
  std::string reason;
  ASSERT_TRUE(ExportRunRecords(exported, back, reason)) << reason;
  EXPECT_NE(ReadWholeFile(exported).find(",2," + cell + ",ATmega328P,"), std::string::npos);
  EXPECT_EQ(Images(ReadBack(exported)), std::vector<std::string>{c.image});
}

INSTANTIATE_TEST_SUITE_P(Names, HostileName, ::testing::ValuesIn(NameCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Processes that write the first records of a month at the same moment: one
// header line, every record there, whole, in both files.
TEST_F(RunLogFaults, ProcessesStartingAMonthAtOnceWriteOneHeader) {
  constexpr int Writers = 16, Trials = 10;
  for (int trial = 0; trial < Trials; ++trial) {
    const std::string month = "2027-" + std::string(trial < 9 ? "0" : "") + std::to_string(trial + 1);
    int gate[2];
    ASSERT_EQ(::pipe(gate), 0);
    std::vector<pid_t> children;
    for (int w = 0; w < Writers; ++w) {
      std::fflush(nullptr);
      const pid_t pid = ::fork();
      if (pid == 0) {
        ::close(gate[1]);
        char byte;
        while (::read(gate[0], &byte, 1) < 0 && errno == EINTR) {
        }
        AppendRunRecords({Record(month + "-01T00:00:00.000Z", "writer " + std::to_string(w), "line\r\nbreak")});
        ::_exit(RunLogLost.empty() ? 0 : 1);
      }
      children.push_back(pid);
    }
    ::close(gate[0]);
    ::close(gate[1]);   // all start now
    for (pid_t pid : children) {
      int status = 0;
      ::waitpid(pid, &status, 0);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const std::string csv = ReadWholeFile(Csv(month));
    const std::string header = CsvLine(RunLogColumns());
    EXPECT_EQ(csv.rfind(header, 0), 0u) << trial;
    size_t headers = 0;
    for (size_t at = csv.find(header); at != std::string::npos; at = csv.find(header, at + 1)) ++headers;
    EXPECT_EQ(headers, 1u) << trial;
    size_t skipped = 0;
    const std::vector<std::string> images = Images(ReadBack(Csv(month), &skipped));
    EXPECT_EQ(skipped, 0u);
    EXPECT_EQ(std::set<std::string>(images.begin(), images.end()).size(), static_cast<size_t>(Writers)) << trial;
    EXPECT_EQ(images.size(), static_cast<size_t>(Writers));
    EXPECT_EQ(JsonLines(Jsonl(month)).size(), static_cast<size_t>(Writers));
    // Nothing left beside the files.
    size_t files = 0;
    for (const std::string& name : Names(RunLogFolder)) files += name.find(month) != std::string::npos ? 1 : 0;
    EXPECT_EQ(files, 2u) << trial;
  }
}

// kestrin-cli says a lost record whatever its options, and in its JSON document.
TEST_F(RunLogFaults, TheCommandLineReportsALostRecord) {
  SimProcess sim({"--programmer", "address=2,type=6,fw=3.010,slots=4,slotsize=256,baud=115200", "--image",
                  "slot=1,name=Board,device=9,family=0"});
  ASSERT_TRUE(sim.ready());
  const std::vector<std::string> args{"program", "--device", sim.linkPath(), "--address", "2", "--image", "1",
                                      "--ports", "1", "--json"};
  ProcessResult r = Cli(args, dir.path());
  EXPECT_EQ(r.status, 0) << r.err;
  QJsonObject document = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
  EXPECT_EQ(document["runLog"].toObject()["written"], true) << r.out;
  EXPECT_EQ(r.err.find("Run log not written"), std::string::npos) << r.err;

  TempDir blocked;
  std::ofstream(blocked.path() + "/Kestrin") << "a file where the folder should be";
  r = RunProcess(KESTRIN_CLI_PATH, args, dir.path(),
                 "XDG_CONFIG_HOME='" + dir.path() + "' XDG_DATA_HOME='" + blocked.path() + "'");
  EXPECT_EQ(r.status, 0) << r.err;
  document = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
  const QJsonObject runLog = document["runLog"].toObject();
  EXPECT_EQ(runLog["written"], false) << r.out;
  EXPECT_TRUE(runLog["error"].toString().startsWith(QString::fromStdString(blocked.path() + "/Kestrin: ")))
      << r.out;
  EXPECT_NE(r.err.find("Run log not written: " + blocked.path() + "/Kestrin: "), std::string::npos) << r.err;
}

}  // namespace
