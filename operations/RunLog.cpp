#include "operations/RunLog.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>

#include "link/CommDefs.h"
#include "link/ErrorRecord.h"
#include "link/LineState.h"
#include "operations/ImageDirectory.h"
#include "operations/Selection.h"
#include "platform/OutputFile.h"
#include "platform/SerialPort.h"
#include "programmers/RevisionTables.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "state/StateList.h"
#include "state/views/MainWindowView.h"

#define RUN_LOG_STATE(STATE)     \
  STATE(RunLogFolder, {})        \
  STATE(RunLogReported, {false}) \
  STATE(RunLogLost, {})          \
  STATE(RunLogTried, {false})

RUN_LOG_STATE(DEFINE_STATE)

namespace {

const char* const CsvExtension = ".csv";
const char* const JsonExtension = ".jsonl";

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

template <size_t N>
std::string TypeNameIn(const std::array<ProgTypeInfo, N>& table, int type) {
  return type >= 0 && static_cast<size_t>(type) < N ? table[type].TypeName : std::string();
}

std::string TypeNameOf(const ProgrammerRecord& p) {
  switch (FirmwareGeneration(p.FwRevision)) {
    case 1: return TypeNameIn(TypeTableV1, p.ProgType);
    case 2: return TypeNameIn(TypeTableV2, p.ProgType);
    default: return TypeNameIn(TypeTableV3, p.ProgType);
  }
}

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool ParseWhole(const std::string& text, int64_t& value) {
  if (text.empty() || text.size() > 19) return false;
  size_t i = text[0] == '-' ? 1 : 0;
  if (i == text.size()) return false;
  int64_t v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    v = v * 10 + (text[i] - '0');
  }
  value = text[0] == '-' ? -v : v;
  return true;
}

// The folder part of a path, with its slash.
std::string FolderPart(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Puts the file in place with its header already in it, unless it is there:
// no writer ever appends to, and no reader ever sees, a file without one.
void CreateWithHeader(const std::string& path, const std::string& header) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0) return;
  const size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::string temp = FolderPart(path) + "." + name + ".new-" + std::to_string(getpid());
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return;   // the append below creates it and writes the header under its lock
  ssize_t n = -1;
  do {
    n = ::write(fd, header.data(), header.size());
  } while (n < 0 && errno == EINTR);
  const bool closed = ::close(fd) == 0;
  if (n == static_cast<ssize_t>(header.size()) && closed) {
    // Made only where no file is: the first writer's file stays, with its one header.
    if (::link(temp.c_str(), path.c_str()) != 0 && errno != EEXIST) {
      ::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE);
    }
  }
  ::unlink(temp.c_str());
}

// One log file opened to append, locked against the other writers until
// closed, so that a short write can be cut back without cutting theirs.
class LogAppend {
 public:
  ~LogAppend() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool Open(const std::string& path, const std::string& header, std::string& reason) {
    if (!header.empty()) CreateWithHeader(path, header);
    // Never waits: a FIFO in the file's place is refused, not written to.
    fd_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0644);
    struct stat info {};
    if (fd_ < 0 || ::flock(fd_, LOCK_EX) != 0 || ::fstat(fd_, &info) != 0) return Fail(reason);
    if (!S_ISREG(info.st_mode)) {
      reason = "not a regular file";
      return false;
    }
    before_ = info.st_size;
    // Where the header could not be put in place first, the writer that finds
    // the file empty under the lock writes it.
    if (before_ == 0) prefix_ = header;
    return true;
  }
  // All of `text` with one write; a write cut short is cut back off the file.
  bool Append(const std::string& text, std::string& reason) {
    const std::string all = prefix_ + text;
    ssize_t n = -1;
    do {
      n = ::write(fd_, all.data(), all.size());
    } while (n < 0 && errno == EINTR);
    if (n == static_cast<ssize_t>(all.size())) {
      prefix_.clear();
      return true;
    }
    reason = n < 0 ? std::strerror(errno) : "short write (" + std::to_string(n) + " of " +
                                                std::to_string(all.size()) + " bytes)";
    if (n > 0) Undo();
    return false;
  }
  // Back to the length before the append.
  void Undo() {
    if (fd_ >= 0) {
      while (::ftruncate(fd_, before_) != 0 && errno == EINTR) {
      }
    }
  }

 private:
  bool Fail(std::string& reason) {
    reason = std::strerror(errno);
    return false;
  }
  int fd_ = -1;
  off_t before_ = 0;
  std::string prefix_;
};

void ReportOnce(const std::string& reason) {
  if (RunLogLost.empty()) RunLogLost = RunLogFolder + ": " + reason;
  if (RunLogReported) return;
  RunLogReported = true;
  if (frmMain) frmMain->SetStatusPanel("Status", "Run log not written: " + RunLogFolder + ": " + reason);
}

bool IsNumberColumn(size_t column) {
  return column == 3 || column == 6 || column == 11 || column == 13 || column == 15;
}

// A text a spreadsheet would take for a formula is kept a text by an
// apostrophe in front; so is a text that starts with one before such a
// character, so that reading takes exactly one off.
bool TakenForFormula(const std::string& text, size_t at) {
  return at < text.size() && std::strchr("=+-@\t\r", text[at]) != nullptr && text[at] != '\0';
}
bool NeedsApostrophe(const std::string& text) {
  return TakenForFormula(text, 0) || (!text.empty() && text[0] == '\'' && (TakenForFormula(text, 1) ||
                                                                           (text.size() > 1 && text[1] == '\'')));
}
std::string WithoutApostrophe(const std::string& text) {
  if (text.size() > 1 && text[0] == '\'' && (TakenForFormula(text, 1) || text[1] == '\'')) return text.substr(1);
  return text;
}

// "2026-12-10T20:51:26.123Z,": how every record starts.
bool StartsRecord(const char* p, size_t n) {
  static const char pattern[] = "dddd-dd-ddTdd:dd:dd.dddZ,";
  constexpr size_t length = sizeof pattern - 1;
  if (n < length) return false;
  for (size_t i = 0; i < length; ++i) {
    if (pattern[i] == 'd' ? (p[i] < '0' || p[i] > '9') : p[i] != pattern[i]) return false;
  }
  return true;
}

// One complete CSV record (no line end) into its fields; false when it is
// not well formed.
bool SplitCsvRecord(const std::string& text, std::vector<std::string>& fields) {
  fields.clear();
  size_t i = 0;
  for (;;) {
    std::string field;
    if (i < text.size() && text[i] == '"') {
      for (++i;; ++i) {
        if (i >= text.size()) return false;
        if (text[i] == '"') {
          if (i + 1 < text.size() && text[i + 1] == '"') {
            field += '"';
            ++i;
            continue;
          }
          ++i;
          break;
        }
        field += text[i];
      }
      if (i < text.size() && text[i] != ',') return false;
    } else {
      const size_t comma = std::min(text.find(',', i), text.size());
      field.assign(text, i, comma - i);
      if (field.find('"') != std::string::npos) return false;
      i = comma;
    }
    fields.push_back(WithoutApostrophe(field));
    if (i >= text.size()) return true;
    ++i;
    if (fields.size() > RunLogColumns().size()) return false;
  }
}

// Gathers the lines of a CSV log into records. A record cut off inside a
// quoted field would swallow the records after it: a line that starts a
// record while a quote is open ends the damaged one instead, and a record
// that fails is read again from the last record start inside it (where the
// next record was written straight after a torn one).
class CsvRecordReader {
 public:
  CsvRecordReader(const std::function<void(const RunRecord&)>& each, size_t& skipped)
      : each_(each), skipped_(skipped) {}

  void Feed(const char* data, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      Char(data[i]);
      Replay();
    }
  }
  void Finish() {
    if (!line_.empty()) {
      std::string last;
      last.swap(line_);
      if (open_ && StartsRecord(last.data(), last.size())) {
        Damaged();
        Replay();
      }
      pending_ += last;
    }
    // A last record without its line end was cut short while written.
    if (!pending_.empty()) ++skipped_;
    pending_.clear();
  }

 private:
  void Char(char c) {
    if (dropping_) {
      if (c == '\n') dropping_ = false;
      return;
    }
    line_ += c;
    if (pending_.size() + line_.size() > MaxRunRecordBytes) {
      // Too long to be a record: dropped up to the next line end.
      ++skipped_;
      pending_.clear();
      line_.clear();
      open_ = false;
      dropping_ = c != '\n';
      return;
    }
    if (c == '\n') EndLine();
  }
  // Text read again comes before the rest of the input.
  void Replay() {
    while (!replay_.empty()) {
      std::string text;
      text.swap(replay_);
      for (size_t k = 0; k < text.size(); ++k) {
        Char(text[k]);
        if (!replay_.empty()) {
          replay_.append(text, k + 1, std::string::npos);
          break;
        }
      }
    }
  }
  void EndLine() {
    if (open_ && StartsRecord(line_.data(), line_.size())) {
      Damaged();
      if (!replay_.empty()) {
        replay_ += line_;
        line_.clear();
        return;
      }
    }
    for (char c : line_) open_ ^= c == '"';
    pending_ += line_;
    line_.clear();
    if (!open_) Complete();
  }
  // A record with its line end.
  void Complete() {
    std::string text;
    text.swap(pending_);
    std::string record = text.substr(0, text.size() - 1);
    if (!record.empty() && record.back() == '\r') record.pop_back();
    if (!Deliver(record)) Salvage(text);
  }
  bool Deliver(const std::string& text) {
    std::vector<std::string> fields;
    if (!SplitCsvRecord(text, fields)) return false;
    if (fields == RunLogColumns()) return true;   // the header
    RunRecord record;
    if (!RunRecordFromFields(fields, record)) return false;
    each_(record);
    return true;
  }
  // The record gathered so far, ended by a line that starts a record while a
  // quote is open.
  void Damaged() {
    std::string text;
    text.swap(pending_);
    open_ = false;
    if (text.empty() || text.back() != '\n') {
      ++skipped_;
      return;
    }
    Salvage(text);
  }
  // A damaged record, with its line end: read again from the last record
  // start inside it, which is shorter, so this ends.
  void Salvage(const std::string& text) {
    ++skipped_;
    size_t last = 0;
    for (size_t at = 1; at < text.size(); ++at) {
      if (!StartsRecord(text.data() + at, text.size() - at)) continue;
      if (last > 0) ++skipped_;   // a record torn in its turn before the last one
      last = at;
    }
    if (last > 0) replay_ = text.substr(last);
  }

  const std::function<void(const RunRecord&)>& each_;
  size_t& skipped_;
  std::string pending_, line_, replay_;
  bool open_ = false;       // an odd number of quotes so far: inside a quoted field
  bool dropping_ = false;   // skipping the rest of an oversized line
};

}  // namespace

const std::vector<std::string>& RunLogColumns() {
  static const std::vector<std::string> columns{
      "time", "station", "line", "address", "programmer_type", "firmware", "slot", "image", "device_type",
      "checksum", "operation", "port", "result", "code", "serial", "duration_ms", "error_title", "error_text"};
  return columns;
}

std::vector<std::string> RunRecordFields(const RunRecord& r) {
  return {r.time,      r.station,   r.line,   std::to_string(r.address), r.programmerType, r.firmware,
          std::to_string(r.slot), r.image, r.deviceType, r.checksum, r.operation, std::to_string(r.port),
          r.result,    std::to_string(r.code), r.serial, std::to_string(r.durationMs), r.errorTitle, r.errorText};
}

bool RunRecordFromFields(const std::vector<std::string>& f, RunRecord& r) {
  if (f.size() != RunLogColumns().size()) return false;
  int64_t address = 0, slot = 0, port = 0, code = 0, duration = 0;
  if (!ParseWhole(f[3], address) || !ParseWhole(f[6], slot) || !ParseWhole(f[11], port) ||
      !ParseWhole(f[13], code) || !ParseWhole(f[15], duration)) {
    return false;
  }
  r.time = f[0];
  r.station = f[1];
  r.line = f[2];
  r.address = static_cast<int>(address);
  r.programmerType = f[4];
  r.firmware = f[5];
  r.slot = static_cast<int>(slot);
  r.image = f[7];
  r.deviceType = f[8];
  r.checksum = f[9];
  r.operation = f[10];
  r.port = static_cast<int>(port);
  r.result = f[12];
  r.code = static_cast<int32_t>(code);
  r.serial = f[14];
  r.durationMs = duration;
  r.errorTitle = f[16];
  r.errorText = f[17];
  return true;
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string RunRecordCsv(const RunRecord& record) {
  const std::vector<std::string> fields = RunRecordFields(record);
  std::string line;
  for (size_t i = 0; i < fields.size(); ++i) {
    const bool guard = !IsNumberColumn(i) && NeedsApostrophe(fields[i]);
    line += (i ? "," : "") + CsvField(guard ? "'" + fields[i] : fields[i]);
  }
  return line + "\r\n";
}

std::string CsvLine(const std::vector<std::string>& fields) {
  std::string line;
  for (size_t i = 0; i < fields.size(); ++i) line += (i ? "," : "") + CsvField(fields[i]);
  return line + "\r\n";
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else if (c >= 0x80) {
          // Texts are stored one byte per character (Latin-1); JSON wants UTF-8.
          out += static_cast<char>(0xC0 | (c >> 6));
          out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string RunRecordJson(const RunRecord& r) {
  const std::vector<std::string> fields = RunRecordFields(r);
  const std::vector<std::string>& names = RunLogColumns();
  std::string json = "{";
  for (size_t i = 0; i < names.size(); ++i) {
    const bool number = IsNumberColumn(i);
    json += (i ? "," : "") + JsonString(names[i]) + ":" + (number ? fields[i] : JsonString(fields[i]));
  }
  return json + "}";
}

std::string IsoTimeUtc(std::chrono::system_clock::time_point when) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
  const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(ms % 1000));
  return text;
}

std::string RunLogMonthName(const std::string& isoTime) {
  if (isoTime.size() < 7 || isoTime[4] != '-') return {};
  for (int i : {0, 1, 2, 3, 5, 6}) {
    if (isoTime[i] < '0' || isoTime[i] > '9') return {};
  }
  return "runs-" + isoTime.substr(0, 7);
}

void AppendRunRecords(const std::vector<RunRecord>& records) {
  if (RunLogFolder.empty() || records.empty()) return;
  RunLogTried = true;
  std::map<std::string, std::pair<std::string, std::string>> byMonth;   // CSV and JSON text per file
  for (const RunRecord& r : records) {
    auto& texts = byMonth[RunLogMonthName(r.time)];
    texts.first += RunRecordCsv(r);
    texts.second += RunRecordJson(r) + "\n";
  }
  std::error_code ec;
  std::filesystem::create_directories(RunLogFolder, ec);
  if (ec) {
    ReportOnce(ec.message());
    return;
  }
  const std::string header = CsvLine(RunLogColumns());
  for (const auto& [month, texts] : byMonth) {
    if (month.empty()) continue;
    const std::string stem = RunLogFolder + "/" + month;
    std::string reason;
    LogAppend csv, json;
    if (!csv.Open(stem + CsvExtension, header, reason) || !csv.Append(texts.first, reason)) {
      ReportOnce(month + CsvExtension + ": " + reason);
      return;
    }
    // The pair stays the same: records the JSON file lost come off the CSV file too.
    if (!json.Open(stem + JsonExtension, {}, reason) || !json.Append(texts.second, reason)) {
      csv.Undo();
      ReportOnce(month + JsonExtension + ": " + reason);
      return;
    }
  }
}

bool ReadRunLogFile(const std::string& path, const std::function<void(const RunRecord&)>& each, size_t* skipped) {
  // Opening a FIFO to read would wait for a writer.
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  size_t damaged = 0;
  CsvRecordReader reader(each, damaged);
  char buffer[65536];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    reader.Feed(buffer, static_cast<size_t>(in.gcount()));
    if (!in) break;
  }
  reader.Finish();
  if (skipped) *skipped += damaged;
  return true;
}

std::vector<std::string> RunLogFiles(const std::string& folder) {
  std::vector<std::string> files;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    // runs-YYYY-MM.csv
    if (name.size() == 16 && name.rfind("runs-", 0) == 0 && name.compare(12, 4, CsvExtension) == 0 &&
        !RunLogMonthName(name.substr(5, 7)).empty()) {
      files.push_back(it->path().string());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<RunRecord> LatestRunRecords(const std::string& folder, size_t count,
                                        std::chrono::system_clock::time_point now) {
  const std::string thisMonth = RunLogMonthName(IsoTimeUtc(now));
  int year = std::stoi(thisMonth.substr(5, 4)), month = std::stoi(thisMonth.substr(10, 2)) - 1;
  if (month == 0) {
    month = 12;
    --year;
  }
  char lastMonth[32];
  std::snprintf(lastMonth, sizeof lastMonth, "runs-%04d-%02d", year, month);
  std::deque<RunRecord> latest;
  for (const std::string& name : {std::string(lastMonth), thisMonth}) {
    ReadRunLogFile(folder + "/" + name + CsvExtension, [&](const RunRecord& record) {
      latest.push_back(record);
      if (latest.size() > count) latest.pop_front();
    });
  }
  // Newest first; the ports of one run keep their order.
  std::vector<RunRecord> newest(latest.begin(), latest.end());
  std::stable_sort(newest.begin(), newest.end(), [](const RunRecord& a, const RunRecord& b) { return a.time > b.time; });
  return newest;
}

bool ExportRunRecords(const std::string& path, const std::vector<RunRecord>& records, std::string& reason) {
  std::string text = CsvLine(RunLogColumns());
  for (const RunRecord& r : records) text += RunRecordCsv(r);
  return WriteOutputFile(path, text, reason);
}

std::string ImageChecksumText(int32_t checksum) {
  char text[12];
  std::snprintf(text, sizeof text, "%08X", static_cast<uint32_t>(checksum));
  return text;
}

std::string CrcText(const std::array<uint8_t, 2>& crc) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X%02X", crc[1], crc[0]);
  return text;
}

std::string SlotChecksumText(int slot) {
  if (slot < 1 || slot >= static_cast<int>(ImageDirectory.size()) || ImageDirectory[slot].Size <= 0) return {};
  return CrcText(ImageDirectory[slot].ImageCrc);
}

void SlotImageTexts(int slot, std::string& name, std::string& deviceType) {
  name.clear();
  deviceType.clear();
  if (slot < 1 || slot >= fgImages.Rows || fgImages.Cols <= ColDeviceType) return;
  name = Trimmed(fgImages.TextMatrix(slot, ColName));
  deviceType = Trimmed(fgImages.TextMatrix(slot, ColDeviceType));
}

RunLogEntry::RunLogEntry(const char* operation, int slot) : start_(std::chrono::steady_clock::now()) {
  base_.time = IsoTimeUtc(std::chrono::system_clock::now());
  base_.operation = operation;
  base_.slot = slot;
  if (RunLogFolder.empty()) return;   // nothing will be written: nothing to gather
  base_.station = HostName();
  base_.line = MSComm1 ? MSComm1->PortPath() : std::string();
  base_.address = CurrentAddress;
  for (int p = 1; p <= MaxProgrammers; ++p) {
    if (ProgrammerTable[p].Address == CurrentAddress && CurrentAddress != 0) {
      SetUnit(p);
      break;
    }
  }
  if (base_.programmerType.empty()) base_.programmerType = ProgTypeName;
  if (slot > 0) {
    SlotImageTexts(slot, base_.image, base_.deviceType);
    base_.checksum = SlotChecksumText(slot);
  }
}

void RunLogEntry::SetUnit(int programmer) {
  if (programmer < 1 || programmer > MaxProgrammers) return;
  const ProgrammerRecord& p = ProgrammerTable[programmer];
  base_.address = p.Address;
  base_.programmerType = TypeNameOf(p);
  base_.firmware = p.FwRevision;
}

void RunLogEntry::SetImage(const std::string& name, const std::string& deviceType, const std::string& checksum) {
  base_.image = Trimmed(name);
  base_.deviceType = deviceType;
  base_.checksum = checksum;
}

void RunLogEntry::SetPort(int port, const std::string& result, int32_t code, const std::string& serial) {
  ports_.push_back({port, result, code, serial});
}

void RunLogEntry::Write() {
  if (written_) return;
  written_ = true;
  if (RunLogFolder.empty()) return;
  // Runs from a destructor at the operation's end: nothing may escape it.
  try {
    WriteRecords();
  } catch (...) {
    ReportOnce("out of memory");
  }
}

void RunLogEntry::WriteRecords() {
  const bool cancelled = LastErrorNumber == ErrDialogCancelled;
  if (cancelled && ports_.empty()) return;   // a cancelled dialog did nothing
  const bool failed = LastErrorNumber > 0 && !cancelled;
  RunRecord base = base_;
  base.durationMs =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_).count();
  if (failed) {
    base.errorTitle = ErrorReportTitle();
    base.errorText = ErrorReportText();
  }
  std::vector<RunRecord> records;
  if (ports_.empty()) {
    // The operator stopped it: said as such, as a run's port is, with its number as the code.
    base.result = LastErrorNumber == ErrCancelled ? "Cancelled" : failed ? std::to_string(LastErrorNumber) : outcome_;
    base.code = failed ? LastErrorNumber : 0;
    records.push_back(base);
  }
  for (const Port& p : ports_) {
    records.push_back(base);
    records.back().port = p.port;
    records.back().result = p.result;
    records.back().code = p.code;
    records.back().serial = p.serial;
  }
  AppendRunRecords(records);
}

void ResetRunLogState() { RUN_LOG_STATE(RESET_STATE) }
