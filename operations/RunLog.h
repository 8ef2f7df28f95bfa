// The run log: one record per port of a run, or per operation, appended to a
// monthly CSV file and, the same, to a JSON-lines file in RunLogFolder.
// Writing it never fails or holds up an operation; a log that cannot be
// written is reported once in the status bar.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct RunRecord {
  std::string time;            // UTC, "2026-12-10T20:51:26.123Z"
  std::string station;         // host name
  std::string line;            // device path of the serial line
  int address = 0;             // bus address of the unit
  std::string programmerType;
  std::string firmware;
  int slot = 0;                // image slot 1..4, 0 for none
  std::string image;           // image name
  std::string deviceType;
  std::string checksum;
  std::string operation;       // "program", "verify", "load", ...
  int port = 0;                // target port 1..4, 0 for the whole operation
  std::string result;          // port status caption, or "OK" / the error number
  int32_t code = 0;            // port status code, or the error number
  std::string serial;          // serial number written on the port
  int64_t durationMs = 0;
  std::string errorTitle;      // error report when it failed
  std::string errorText;
};

// Column names in file order; also the JSON keys.
const std::vector<std::string>& RunLogColumns();
std::vector<std::string> RunRecordFields(const RunRecord& record);
// False when the field count is not the column count or a number is not one.
bool RunRecordFromFields(const std::vector<std::string>& fields, RunRecord& record);

// One CSV field, quoted when it holds a comma, quote, CR or LF.
std::string CsvField(const std::string& text);
// A record or the header as one CSV line, ending in CR LF.
std::string CsvLine(const std::vector<std::string>& fields);
// A record as one CSV line: a text a spreadsheet would run as a formula (it
// starts with =, +, -, @, tab or CR) gets an apostrophe in front, which
// reading takes off again. The JSON keeps every text as it is.
std::string RunRecordCsv(const RunRecord& record);
// A record as one JSON object without a line end.
std::string RunRecordJson(const RunRecord& record);
std::string JsonString(const std::string& text);

// "runs-2026-12" for a record time; empty when the time is not one.
std::string RunLogMonthName(const std::string& isoTime);
std::string IsoTimeUtc(std::chrono::system_clock::time_point when);

// Appends the records to the files of their month in RunLogFolder; nothing
// when it is empty. Each file takes them whole or not at all, and a month's
// CSV file comes into being with its header. A loss is kept in RunLogLost and
// shown once in the status bar. The last-error record is left as it is.
void AppendRunRecords(const std::vector<RunRecord>& records);

// Streams the records of one CSV log file; damaged or oversized records are
// skipped and counted into `skipped`, and reading goes on at the next record.
// False when the file cannot be opened.
bool ReadRunLogFile(const std::string& path, const std::function<void(const RunRecord&)>& each,
                    size_t* skipped = nullptr);
// The monthly CSV files in a folder, oldest first.
std::vector<std::string> RunLogFiles(const std::string& folder);

// The newest `count` records of the month of `now` and the month before,
// newest first; records of the same time in the order they were written.
std::vector<RunRecord> LatestRunRecords(const std::string& folder, size_t count,
                                        std::chrono::system_clock::time_point now);
// Writes the records as a CSV file with its header: complete, or the file
// is left as it was. False with the reason.
bool ExportRunRecords(const std::string& path, const std::vector<RunRecord>& records, std::string& reason);

// One operation's record, begun when the operation starts: the unit, slot
// and start time are taken then. Ports added with SetPort make one record
// each; without them the operation makes one record of its own.
class RunLogEntry {
 public:
  RunLogEntry(const char* operation, int slot);
  // The unit recorded, when it is not the one at CurrentAddress.
  void SetUnit(int programmer);
  void SetImage(const std::string& name, const std::string& deviceType, const std::string& checksum);
  void SetPort(int port, const std::string& result, int32_t code, const std::string& serial = {});
  bool HasPorts() const { return !ports_.empty(); }
  // The result text of an operation that ended without error, instead of "OK".
  void SetOutcome(const std::string& result) { outcome_ = result; }
  // Appends the records with the outcome the last-error record holds now.
  void Write();

 private:
  void WriteRecords();
  struct Port {
    int port;
    std::string result;
    int32_t code;
    std::string serial;
  };
  RunRecord base_;
  std::chrono::steady_clock::time_point start_;
  std::vector<Port> ports_;
  std::string outcome_ = "OK";
  bool written_ = false;
};

// Writes its entry when the operation's scope ends, whatever the way out.
class RunLogScope : public RunLogEntry {
 public:
  using RunLogEntry::RunLogEntry;
  ~RunLogScope() { Write(); }
  RunLogScope(const RunLogScope&) = delete;
  RunLogScope& operator=(const RunLogScope&) = delete;
};

// A 32-bit image checksum as the Load Image dialog shows it ("0001A2F3").
std::string ImageChecksumText(int32_t checksum);
// A CRC as the directory holds it (low byte first) in hex, high byte first ("1A2B").
std::string CrcText(const std::array<uint8_t, 2>& crc);
// The checksum text of a slot's directory CRC, empty when none.
std::string SlotChecksumText(int slot);
// The image name and device type the image grid shows for a slot.
void SlotImageTexts(int slot, std::string& name, std::string& deviceType);

// The maximal length of one stored record; longer ones are skipped on reading.
constexpr size_t MaxRunRecordBytes = 256 * 1024;

// Where the monthly files go and what became of the records written so far.
extern std::string RunLogFolder;   // where the run log's monthly files go; empty: no log
extern bool RunLogReported;        // a failed write was reported; later ones stay quiet
extern std::string RunLogLost;     // "FOLDER: REASON" of the first record lost; empty: none
extern bool RunLogTried;           // records were appended (or lost) since the start
// Puts the globals above back to their start values.
void ResetRunLogState();
