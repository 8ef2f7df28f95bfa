// The run log: how records are written and read back, and what the
// operations record over the in-process simulated line.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "devices/DeviceDatabase.h"
#include "link/Commands.h"
#include "link/LineState.h"
#include "operations/ArrayRun.h"
#include "operations/Configure.h"
#include "operations/DeleteImage.h"
#include "operations/FirmwareUpgrade.h"
#include "operations/LoadImage.h"
#include "operations/ProgramRun.h"
#include "operations/ReadTarget.h"
#include "operations/RunLog.h"
#include "operations/Selection.h"
#include "operations/Serialize.h"
#include "options/SerialState.h"
#include "programmers/Configuration.h"
#include "programmers/Discovery.h"
#include "programmers/UnitState.h"
#include "sim/Line.h"
#include "sim/StoredImages.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "state/views/ArrayProgramView.h"
#include "state/views/ProgramManagerView.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/SimLine.h"
#include "tests/support/TempDir.h"

namespace {

RunRecord Sample(const std::string& time, const std::string& text) {
  RunRecord r;
  r.time = time;
  r.station = "bench-7";
  r.line = "/dev/pts/3";
  r.address = 12;
  r.programmerType = "VRX-AVR";
  r.firmware = "3.010";
  r.slot = 2;
  r.image = text;
  r.deviceType = "ATmega328P";
  r.checksum = "B41E";
  r.operation = "program";
  r.port = 4;
  r.result = "Verify Failed";
  r.code = 18;
  r.serial = "0101";
  r.durationMs = 1234;
  r.errorTitle = "Kestrin - Program Image";
  r.errorText = "Function: GetStatus\r\nError Code:  1500\r\nSource: Send Command\r\n" + text;
  return r;
}

std::vector<RunRecord> ReadAll(const std::string& path) {
  std::vector<RunRecord> records;
  EXPECT_TRUE(ReadRunLogFile(path, [&](const RunRecord& r) { records.push_back(r); }));
  return records;
}

std::vector<std::string> Lines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class RunLogFilesTest : public ::testing::Test {
 protected:
  RunLogFilesTest() { RunLogFolder = dir.path() + "/Kestrin"; }
  std::string File(const std::string& name) const { return RunLogFolder + "/" + name; }

  FakePlatform platform;
  TempDir dir;
};

TEST_F(RunLogFilesTest, FieldsSurviveTheCsvFileWhateverTheyHold) {
  const std::string texts[] = {"plain",
                               "comma, inside",
                               "\"quoted\" and \"\"doubled\"\"",
                               "line\r\nbreak and lone\nfeed and lone\rreturn",
                               "  blanks kept  ",
                               "",
                               "tab\there",
                               "Latin-1 \xB5s \xE9t\xE9",
                               "ends with a quote\"",
                               "\",\r\n,\""};
  std::vector<RunRecord> written;
  for (const std::string& text : texts) written.push_back(Sample("2026-12-10T08:00:00.000Z", text));
  AppendRunRecords({written.begin(), written.begin() + 4});
  AppendRunRecords({written.begin() + 4, written.end()});

  const std::vector<RunRecord> back = ReadAll(File("runs-2026-12.csv"));
  ASSERT_EQ(back.size(), written.size());
  for (size_t i = 0; i < written.size(); ++i) {
    EXPECT_EQ(RunRecordFields(back[i]), RunRecordFields(written[i])) << i;
  }
  // The header once, at the top; a record per CSV record, however many lines its texts have.
  const std::vector<std::string> lines = Lines(File("runs-2026-12.csv"));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "time,station,line,address,programmer_type,firmware,slot,image,device_type,checksum,"
                      "operation,port,result,code,serial,duration_ms,error_title,error_text\r");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), lines[0]), 1);
}

TEST_F(RunLogFilesTest, EveryJsonLineIsOneObjectWithTheSameFields) {
  const std::string texts[] = {"back\\slash", "\"quoted\"", "line\r\nbreak", "control \x01\x1F", "Latin-1 \xB5s"};
  std::vector<RunRecord> written;
  for (const std::string& text : texts) written.push_back(Sample("2026-12-10T08:00:00.000Z", text));
  AppendRunRecords(written);

  const std::vector<std::string> lines = Lines(File("runs-2026-12.jsonl"));
  ASSERT_EQ(lines.size(), written.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(lines[i]), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << lines[i];
    const QJsonObject o = doc.object();
    EXPECT_EQ(o.keys().size(), static_cast<int>(RunLogColumns().size()));
    EXPECT_EQ(o["image"].toString(), QString::fromLatin1(texts[i].c_str())) << i;
    EXPECT_EQ(o["error_text"].toString(), QString::fromLatin1(written[i].errorText.c_str())) << i;
    EXPECT_EQ(o["address"].toInt(), 12);
    EXPECT_EQ(o["port"].toInt(), 4);
    EXPECT_EQ(o["code"].toInt(), 18);
    EXPECT_EQ(o["duration_ms"].toInt(), 1234);
    EXPECT_EQ(o["result"].toString(), "Verify Failed");
    EXPECT_EQ(o["time"].toString(), "2026-12-10T08:00:00.000Z");
  }
}

TEST_F(RunLogFilesTest, EachRecordGoesToTheFilesOfItsMonth) {
  AppendRunRecords({Sample("2026-11-30T23:59:59.999Z", "a"), Sample("2026-12-01T00:00:00.000Z", "b"),
                    Sample("2027-01-01T00:00:00.000Z", "c")});
  for (const char* month : {"2026-11", "2026-12", "2027-01"}) {
    const std::vector<RunRecord> records = ReadAll(File(std::string("runs-") + month + ".csv"));
    ASSERT_EQ(records.size(), 1u) << month;
    EXPECT_EQ(records[0].time.substr(0, 7), month);
    EXPECT_EQ(Lines(File(std::string("runs-") + month + ".jsonl")).size(), 1u) << month;
  }
  std::ofstream(File("runs-2026-1.csv")) << "not a month\n";
  std::ofstream(File("notes.csv")) << "not a log\n";
  const std::vector<std::string> files = RunLogFiles(RunLogFolder);
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[0], File("runs-2026-11.csv"));
  EXPECT_EQ(files[2], File("runs-2027-01.csv"));

  struct Case { const char* time; const char* month; };
  const Case cases[] = {{"2026-12-10T08:00:00.000Z", "runs-2026-12"}, {"1999-01-31T00:00:00Z", "runs-1999-01"},
                        {"", ""}, {"2026/12/10", ""}, {"20x6-12-10", ""}};
  for (const Case& c : cases) EXPECT_EQ(RunLogMonthName(c.time), c.month) << c.time;
  EXPECT_EQ(IsoTimeUtc(std::chrono::system_clock::time_point(std::chrono::milliseconds(1796935886123))),
            "2026-12-10T20:51:26.123Z");
}

TEST_F(RunLogFilesTest, DamagedPartialAndHugeRecordsAreSkippedTheRestIsRead) {
  std::filesystem::create_directories(RunLogFolder);
  const std::string good1 = CsvLine(RunRecordFields(Sample("2026-12-01T00:00:00.000Z", "first")));
  const std::string good2 = CsvLine(RunRecordFields(Sample("2026-12-02T00:00:00.000Z", "second")));
  const std::string good3 = CsvLine(RunRecordFields(Sample("2026-12-03T00:00:00.000Z", "third, \"last\"")));
  std::string text = CsvLine(RunLogColumns()) + good1;
  text += "garbage without enough fields\r\n";
  text += "2026-12-01,x,y,not-a-number,a,b,1,c,d,e,f,1,g,0,,5,,\r\n";   // a number that is none
  text += std::string(MaxRunRecordBytes + 10, 'x') + "\r\n";          // too long to be a record
  text += good2;
  text += "\"" + std::string(MaxRunRecordBytes + 10, 'y') + "\r\n";   // a quote never closed
  text += good3;
  text += good1.substr(0, good1.size() / 2);                          // cut short while written
  std::ofstream(File("runs-2026-12.csv"), std::ios::binary) << text;

  const std::vector<RunRecord> records = ReadAll(File("runs-2026-12.csv"));
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].image, "first");
  EXPECT_EQ(records[1].image, "second");
  EXPECT_EQ(records[2].image, "third, \"last\"");
  EXPECT_FALSE(ReadRunLogFile(File("runs-2026-10.csv"), [](const RunRecord&) {}));
}

TEST_F(RunLogFilesTest, ExportWritesTheRecordsOrLeavesTheFileAsItWas) {
  const std::string path = dir.Write("export.csv", "old contents");
  std::string reason;
  ASSERT_TRUE(ExportRunRecords(path, {Sample("2026-12-01T00:00:00.000Z", "one, two")}, reason)) << reason;
  const std::vector<RunRecord> back = ReadAll(path);
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].image, "one, two");
  EXPECT_EQ(std::filesystem::directory_iterator(dir.path())->path().filename(), "export.csv");   // nothing beside it

  const std::string missing = dir.path() + "/no-such-folder/export.csv";
  EXPECT_FALSE(ExportRunRecords(missing, {Sample("2026-12-01T00:00:00.000Z", "x")}, reason));
  EXPECT_FALSE(reason.empty());
  EXPECT_FALSE(std::filesystem::exists(missing));
}

// ---- Records of the operations ----

class RecordingProgramManager : public ProgramManagerView {
 public:
  bool PortEnabled(int port) override { return ports[port]; }
  bool CrcVerifyOnly() override { return false; }
  bool Sequential() override { return false; }
  bool SoundEnabled() override { return false; }
  void SetPortStatus(int, const std::string&, int64_t, int64_t) override {}
  void SetStatusFrameVisible(bool) override {}
  bool ports[4] = {true, true, true, true};
};

// Counts what reaches the status bar's "Status" panel.
class StatusCountingWindow : public RecordingMainWindow {
 public:
  void SetStatusPanel(const std::string& key, const std::string& text) override {
    RecordingMainWindow::SetStatusPanel(key, text);
    if (key == "Status" && !text.empty()) statusTexts.push_back(text);
  }
  std::vector<std::string> statusTexts;
};

class RunLogOperationsTest : public ::testing::Test {
 protected:
  RunLogOperationsTest() {
    ConnectSimLine(platform.port, line);
    platform.events.OnTick = [this] { line.advance(platform.port.nowMs); };
    frmProgram = &manager;
    frmMain = &window;
    AppPath = dir.path();
    RunLogFolder = dir.path() + "/Kestrin";
  }
  ~RunLogOperationsTest() override { frmProgram = nullptr; }

  vrxsim::Unit& AddUnit() {
    vrxsim::UnitConfig c;
    c.address = 3;
    c.images.push_back(vrxsim::StoredImage{});
    vrxsim::Unit& unit = line.addUnit(c);
    EXPECT_TRUE(AcquireProgrammerAt(3));
    CurrentAddress = 3;
    platform.port.settings = "115200,n,8,1";
    ImageNumber = 1;
    return unit;
  }
  std::vector<RunRecord> Logged() const {
    std::vector<RunRecord> all;
    for (const std::string& file : RunLogFiles(RunLogFolder)) {
      ReadRunLogFile(file, [&](const RunRecord& r) { all.push_back(r); });
    }
    return all;
  }

  FakePlatform platform;
  StatusCountingWindow window;
  vrxsim::Line line;
  RecordingProgramManager manager;
  TempDir dir;
};

TEST_F(RunLogOperationsTest, ARunRecordsEachEnabledPortWithItsFinalStatusAndCode) {
  vrxsim::Unit& unit = AddUnit();
  unit.target(1).result = 18;         // Verify Failed
  unit.target(3).present = false;     // No Target Vcc
  manager.ports[2] = false;
  ASSERT_TRUE(ProgramImage(false));

  const std::vector<RunRecord> records = Logged();
  ASSERT_EQ(records.size(), 3u);
  struct Expected { int port; const char* result; int code; };
  const Expected expected[] = {{1, "Done", 0}, {2, "Verify Failed", 18}, {4, "No Target Vcc", 16}};
  for (size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(records[i].operation, "program");
    EXPECT_EQ(records[i].port, expected[i].port);
    EXPECT_EQ(records[i].result, expected[i].result);
    EXPECT_EQ(records[i].code, expected[i].code);
    EXPECT_EQ(records[i].address, 3);
    EXPECT_EQ(records[i].firmware, ProgrammerTable[1].FwRevision);
    EXPECT_EQ(records[i].slot, 1);
    EXPECT_EQ(records[i].errorText, "");   // a failed port is no failed command
    EXPECT_EQ(records[i].time, records[0].time);
  }
  EXPECT_EQ(LastErrorNumber, 0);
  EXPECT_TRUE(window.statusTexts.empty());
}

TEST_F(RunLogOperationsTest, ARefusedRunRecordsTheErrorReport) {
  AddUnit();
  ImageNumber = 2;   // empty: the programmer refuses it
  EXPECT_FALSE(ProgramImage(true));
  const std::vector<RunRecord> records = Logged();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].operation, "verify");
  EXPECT_EQ(records[0].port, 0);
  EXPECT_EQ(records[0].code, 7);
  EXPECT_EQ(records[0].result, "7");
  EXPECT_EQ(records[0].errorTitle, "Kestrin - Program Image");
  EXPECT_NE(records[0].errorText.find("Error Code:  7\r\n"), std::string::npos);
  EXPECT_NE(records[0].errorText.find("Selected Image is Empty"), std::string::npos);
  // The log took nothing from the operation's outcome.
  EXPECT_EQ(LastErrorNumber, 7);
  EXPECT_EQ(ErrorTitle, "Program Image");
}

TEST_F(RunLogOperationsTest, AFailedLoadRecordsTheErrorReportItLeaves) {
  AddUnit();
  ImageLoadSettings settings;
  settings.image = 2;
  settings.name = "Board";
  settings.files = {dir.path() + "/missing.hex"};
  EXPECT_FALSE(LoadImageFromFiles(settings));
  const std::string title = "Kestrin - " + ErrorTitle;
  const int32_t number = LastErrorNumber;
  ASSERT_GT(number, 0);
  const std::vector<RunRecord> records = Logged();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].operation, "load");
  EXPECT_EQ(records[0].slot, 2);
  EXPECT_EQ(records[0].image, "Board");
  EXPECT_EQ(records[0].code, number);
  EXPECT_EQ(records[0].errorTitle, title);
  EXPECT_NE(records[0].errorText.find("missing.hex"), std::string::npos);
  EXPECT_NE(records[0].errorText.find("Source: "), std::string::npos);
}

TEST_F(RunLogOperationsTest, AnUnwritableFolderFailsNoRunAndIsReportedOnce) {
  AddUnit();
  const std::string blocker = dir.Write("blocker", "a file where the folder should be");
  RunLogFolder = blocker + "/Kestrin";
  ASSERT_TRUE(ProgramImage(false));
  ASSERT_TRUE(ProgramImage(false));
  EXPECT_EQ(LastErrorNumber, 0);
  ASSERT_EQ(window.statusTexts.size(), 1u);
  EXPECT_EQ(window.statusTexts[0].rfind("Run log not written: " + RunLogFolder + ": ", 0), 0u) << window.statusTexts[0];

  // A folder that exists but takes no files fails the same way, and stays quiet.
  if (geteuid() != 0) {
    RunLogFolder = dir.path() + "/readonly";
    std::filesystem::create_directories(RunLogFolder);
    chmod(RunLogFolder.c_str(), 0500);
    ASSERT_TRUE(ProgramImage(false));
    EXPECT_EQ(window.statusTexts.size(), 1u);
    chmod(RunLogFolder.c_str(), 0700);
  }
}

TEST_F(RunLogOperationsTest, SerialNumbersTakenAreLoggedForThePortsThatEndedDone) {
  vrxsim::Unit& unit = AddUnit();
  unit.target(1).result = 18;
  SerialSupported = true;
  SerialMemory = 1;
  SerialFormat = 0x82;
  SerialAddress = 0x40;
  SerialNumber = {0x00, 0x01, 0, 0, 0, 0, 0};
  ASSERT_TRUE(WriteSerializationSettings(0)) << LastErrorText;
  ASSERT_TRUE(ProgramImage(false));
  bool active = false;
  ASSERT_TRUE(ReadRunSerials(1, active));
  ASSERT_TRUE(active);

  std::vector<RunRecord> serials;
  for (const RunRecord& r : Logged()) {
    if (r.operation == "serial") serials.push_back(r);
  }
  ASSERT_EQ(serials.size(), 3u);   // port 2 failed and took no number
  const std::pair<int, const char*> expected[] = {{1, "0100"}, {3, "0101"}, {4, "0102"}};
  for (size_t i = 0; i < serials.size(); ++i) {
    EXPECT_EQ(serials[i].port, expected[i].first);
    EXPECT_EQ(serials[i].serial, expected[i].second);
    EXPECT_EQ(serials[i].slot, 1);
  }
}

TEST_F(RunLogOperationsTest, DeleteDefaultsAndAddressEachLogOneRecordOfTheirOutcome) {
  AddUnit();
  vrxsim::UnitConfig other;
  other.address = 5;
  line.addUnit(other);
  ProgrammerDefaults defaults;
  defaults.imageNumber = 1;
  ASSERT_TRUE(SaveProgrammerDefaults(1, defaults));
  ASSERT_TRUE(SaveProgrammerDefaults(-1, defaults));
  defaults.imageNumber = 9;
  EXPECT_FALSE(SaveProgrammerDefaults(-1, defaults));
  EXPECT_EQ(ChangeProgrammerAddress(5), AddressChange::Conflict);
  EXPECT_EQ(ChangeProgrammerAddress(40), AddressChange::Failed);
  ASSERT_TRUE(DeleteImage(1));

  const std::vector<RunRecord> records = Logged();
  struct Expected { const char* operation; int slot; const char* result; bool error; };
  const Expected expected[] = {{"ate-option", 1, "OK", false},       {"defaults", 1, "OK", false},
                               {"defaults", 9, "6", true},            {"address", 0, "Address in use: 5", false},
                               {"address", 0, "1502", true},          {"delete", 1, "OK", false}};
  ASSERT_EQ(records.size(), std::size(expected));
  for (size_t i = 0; i < records.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(records[i].operation, expected[i].operation);
    EXPECT_EQ(records[i].slot, expected[i].slot);
    EXPECT_EQ(records[i].result, expected[i].result);
    EXPECT_EQ(records[i].errorTitle.empty(), !expected[i].error);
    EXPECT_EQ(records[i].address, 3);
    EXPECT_EQ(records[i].port, 0);
  }
}

TEST_F(RunLogOperationsTest, ReadsLogTheImageTheyStoredOrWhyTheyFailed) {
  dir.Write("device.inf", "Type,Family,Device,Flash,Blank,DevId,FileType,VMin,VMax,Flags\r\n"
                          "6,ATmega,mega,4096,255,&H312,HEX,1.8,5.5,1040\r\n");
  vrxsim::UnitConfig c;
  c.address = 4;
  vrxsim::Unit& unit = line.addUnit(c);
  unit.target(1).present = false;
  ASSERT_TRUE(AcquireProgrammerAt(4));
  SelectProgrammer();
  ASSERT_TRUE(FindDeviceByName("mega"));
  TargetReadSettings read;
  read.image = 2;
  read.port = 1;
  read.name = "Read back";
  read.voltage = 165;
  ASSERT_TRUE(ReadTargetIntoSlot(read)) << LastErrorText;
  read.port = 2;
  read.name = "Nobody there";
  EXPECT_FALSE(ReadTargetIntoSlot(read));
  const int32_t failure = LastErrorNumber;
  FirmwareFileName.clear();
  EXPECT_FALSE(UpgradeFirmware());

  const std::vector<RunRecord> records = Logged();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].operation, "read");
  EXPECT_EQ(records[0].address, 4);
  EXPECT_EQ(records[0].slot, 2);
  EXPECT_EQ(records[0].image, "Read back");
  EXPECT_EQ(records[0].deviceType, "mega");
  EXPECT_EQ(records[0].result, "OK");
  EXPECT_EQ(records[0].checksum.size(), 4u);
  EXPECT_EQ(records[1].image, "Nobody there");
  EXPECT_EQ(records[1].code, failure);
  EXPECT_EQ(records[1].checksum, "");
  EXPECT_NE(records[1].errorText.find("Device Read Failed"), std::string::npos);
  EXPECT_EQ(records[2].operation, "firmware");
  EXPECT_NE(records[2].errorText.find("No Firmware File for this Programmer Type"), std::string::npos);
}

class RecordingArrayView : public ArrayProgramView {
 public:
  bool ProgrammerEnabled(int p) override { return true; }
  bool PortEnabled(int p, int port) override { return p == 0 || port < 2; }
  int ChosenImage(int p) override { return p == 0 ? 1 : 2; }
  bool CrcVerify() override { return false; }
  bool Sequential() override { return false; }
  void SetPanelEnabled(int, bool) override {}
  void SetPortStatus(int, int, const std::string&, int64_t, int64_t) override {}
};

TEST_F(RunLogOperationsTest, AnArrayRunLogsEveryEnabledPortOfEveryUnit) {
  TypeTableV3[6].TypeName = "AVR";
  vrxsim::UnitConfig a, b;
  a.address = 2;
  a.images.push_back(vrxsim::StoredImage{1, 4096, 9, 0, 165, "Left", 0, 4000, -1, false, ""});
  b.address = 7;
  b.images.push_back(vrxsim::StoredImage{2, 4096, 9, 0, 165, "Right", 0, 4000, -1, false, ""});
  line.addUnit(a);
  line.addUnit(b).target(1).result = 18;
  ASSERT_TRUE(AcquireProgrammers());
  CurrentAddress = ProgrammerTable[1].Address;
  platform.port.settings = ProgSettings[CurrentAddress];
  std::vector<ArrayPanel> panels = OpenArrayProgramming();
  ASSERT_EQ(panels.size(), 2u);
  RecordingArrayView view;
  ASSERT_TRUE(RunArray(view, panels));

  const std::vector<RunRecord> records = Logged();
  struct Expected { int address; int slot; const char* image; int port; const char* result; };
  const Expected expected[] = {{2, 1, "Left", 1, "Done"},  {2, 1, "Left", 2, "Done"},
                               {2, 1, "Left", 3, "Done"},  {2, 1, "Left", 4, "Done"},
                               {7, 2, "Right", 1, "Done"}, {7, 2, "Right", 2, "Verify Failed"}};
  ASSERT_EQ(records.size(), std::size(expected));
  for (size_t i = 0; i < records.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(records[i].operation, "program");
    EXPECT_EQ(records[i].address, expected[i].address);
    EXPECT_EQ(records[i].programmerType, "AVR");
    EXPECT_EQ(records[i].slot, expected[i].slot);
    EXPECT_EQ(records[i].image, expected[i].image);
    EXPECT_EQ(records[i].checksum.size(), 4u);
    EXPECT_EQ(records[i].port, expected[i].port);
    EXPECT_EQ(records[i].result, expected[i].result);
  }
  EXPECT_EQ(LastErrorNumber, 0);
}

}  // namespace
