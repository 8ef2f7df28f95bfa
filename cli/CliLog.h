// kestrin-cli log: prints the run log.
#pragma once

#include <string>
#include <vector>

struct CliOptions;

// "log [--since YYYY-MM-DD] [--json] [--help]"; false with a message on a usage error.
bool ParseLogOptions(const std::vector<std::string>& args, CliOptions& options, std::string& error);
int LogCommand(const CliOptions& options);

extern const char* const LogUsage;
