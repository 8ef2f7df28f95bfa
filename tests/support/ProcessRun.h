// Runs one of the build's programs as a whole process, as a script would,
// and catches its exit status and output.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

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

// `program args...` started with its standard output on a pipe: its pid, with
// the pipe's reading end in `readEnd` for the caller to read and close; -1
// when no pipe could be made.
inline pid_t SpawnWithOutputPipe(const std::string& program, const std::vector<std::string>& args, int& readEnd) {
  int out[2];
  if (pipe(out) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(out[1]);
  readEnd = out[0];
  return pid;
}
