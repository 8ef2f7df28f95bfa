#include "cli/CliLog.h"

#include <cstdio>

#include "cli/CliCommandTable.h"
#include "cli/CliCommands.h"
#include "cli/CliSupport.h"
#include "operations/RunLog.h"

const char* const LogDetails =
    "  Prints the run log (every program, verify, load, read, save, delete, upgrade\n"
    "  and configuration operation) from the records of day DATE (UTC) on, or all:\n"
    "  a header line, then one tab-separated line per record, oldest first; tabs,\n"
    "  line ends and backslashes in a field are written as \\t, \\r, \\n and \\\\.\n"
    "  With --json, one JSON array of record objects instead. Damaged records are\n"
    "  skipped; how many is said on standard error.\n";

namespace {

bool ValidDate(const std::string& text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
  for (int i : {0, 1, 2, 3, 5, 6, 8, 9}) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  const int month = std::stoi(text.substr(5, 2)), day = std::stoi(text.substr(8, 2));
  return month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

void PrintTabLine(const std::vector<std::string>& fields) {
  std::string line;
  for (size_t i = 0; i < fields.size(); ++i) line += (i ? "\t" : "") + ListedCell(fields[i]);
  line += "\n";
  std::fputs(line.c_str(), stdout);
}

}  // namespace

namespace {

struct LogValues : CliCommonValues {
  std::string since;                    // the first day, YYYY-MM-DD
  bool json = false;
};

}  // namespace

const CliOptionList& LogOptions() {
  static const CliOptionList list = {
      {"since", "YYYY-MM-DD", "only the records of that day (UTC) on", ValueOf(&LogValues::since), 0, 0, nullptr,
       ValidDate, "--since takes a date YYYY-MM-DD"},
      SharedCliOption("json", &LogValues::json, "one JSON array of record objects instead"),
  };
  return list;
}

int LogCommand(const LogValues& options) {
  if (!options.arguments.empty()) {
    std::fputs(CliUsageError("log", "log takes --since YYYY-MM-DD and --json only, not " + options.arguments[0]).c_str(),
               stderr);
    return ExitUsage;
  }
  const std::string& since = options.since;
  const bool json = options.json;
  bool first = true;
  size_t skipped = 0;
  if (json) std::fputs("[", stdout);
  else PrintTabLine(RunLogColumns());
  for (const std::string& file : RunLogFiles(RunLogFolder)) {
    // runs-YYYY-MM.csv: a month before the date holds nothing for it.
    const std::string month = file.substr(file.size() - 11, 7);
    if (!since.empty() && month < since.substr(0, 7)) continue;
    ReadRunLogFile(file, [&](const RunRecord& record) {
      if (!since.empty() && record.time < since) return;
      if (json) {
        std::fputs(first ? "\n" : ",\n", stdout);
        std::fputs(RunRecordJson(record).c_str(), stdout);
      } else {
        PrintTabLine(RunRecordFields(record));
      }
      first = false;
    }, &skipped);
  }
  if (json) std::fputs(first ? "]\n" : "\n]\n", stdout);
  std::fflush(stdout);
  if (skipped > 0) {
    std::fprintf(stderr, "kestrin-cli: %zu damaged run log record%s skipped in %s\n", skipped, skipped == 1 ? "" : "s",
                 RunLogFolder.c_str());
  }
  return 0;
}

CliBody LogEntry() { return BodyOf<LogValues, LogCommand>(); }
