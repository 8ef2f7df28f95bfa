// Runs one of the build's programs as a whole process, as a script would,
// and catches its exit status and output.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

struct ProcessResult {
  int status = -1;   // exit status; -1 when it did not exit by itself
  std::string out, err;
};

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

// `program args...` with no input; its output goes through files in `dir`.
// `environment` ("NAME='value' ...") is put before the command.
inline ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                                const std::string& dir, const std::string& environment = {}) {
  const std::string out = dir + "/out", err = dir + "/err";
  std::string command = environment + " '" + program + "'";
  for (const std::string& a : args) command += " '" + a + "'";
  command += " >'" + out + "' 2>'" + err + "' </dev/null";
  ProcessResult r;
  const int raw = std::system(command.c_str());
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = ReadWholeFile(out);
  r.err = ReadWholeFile(err);
  return r;
}
