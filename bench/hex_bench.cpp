// How fast does the general Intel HEX loader turn a large image into memory,
// next to objcopy and srec_cat doing the same conversion in the same run, and
// does the user interface still get its turns while it works?
//
// A 1 MiB image of pseudo-random firmware-like bytes (the flash of the largest
// device type, STM32F103ZG) is written as Intel HEX (16-byte data records, an
// extended linear address record every 64 KiB, CRLF line ends, about 2.9 MB of
// text) and as the raw .bin it must come back as. Each tool converts it
// several times and its best wall time counts; every result is compared with
// the image byte for byte. kestrin-cli convert runs as a whole process like
// objcopy and srec_cat (start, read, convert, write the .bin); the loader
// call inside the benchmark is timed beside them. It says whether kestrin-cli
// convert is at least twice as fast as objcopy and whether the loader reads
// at least 500 MB/s of HEX text.
//
//   hex_bench [--runs N] [--mib N] [--keep]   (above 1 MiB no device type fits: kestrin-cli is skipped)
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "images/HexLoader.h"
#include "platform/EventLoop.h"
#include "programmers/UnitState.h"
#include "state/Bindings.h"
#include "state/ErrorState.h"
#include "tests/support/FakePlatform.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

int32_t ImageSize = 1024 * 1024;   // --mib changes it
// The device type kestrin-cli converts for: the largest flash in the database.
constexpr int32_t CliDeviceFlash = 1024 * 1024;
const char* const CliDeviceType = "STM32F103ZG";
constexpr int RecordBytes = 16;
constexpr double BudgetMs = 50.0;   // the longest the windows may wait for a turn
constexpr double CliGoalRatio = 2.0;       // kestrin-cli convert against objcopy, process against process
constexpr double LoaderGoalMbs = 500.0;    // the loader call, MB of HEX text a second

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// An event loop that only notes when the loader let the windows in.
class GapWatch : public EventLoop {
 public:
  void DoEvents() override { ProcessPending(); }
  void ProcessPending() override {
    const Clock::time_point now = Clock::now();
    longestMs = std::max(longestMs, Ms(now - last));
    last = now;
    ++turns;
  }
  void Start() {
    last = Clock::now();
    longestMs = 0;
    turns = 0;
  }
  // The stretch from the last turn to the end of the conversion counts too.
  void Finish() { longestMs = std::max(longestMs, Ms(Clock::now() - last)); }

  Clock::time_point last = Clock::now();
  double longestMs = 0;
  int turns = 0;
};

// Bytes that look like a program: code-like words with a few small constants,
// some tables of small numbers, and stretches of erased flash between them.
std::vector<uint8_t> MakeImage() {
  std::vector<uint8_t> image(ImageSize);
  uint64_t state = 0x9E3779B97F4A7C15ull;
  auto next = [&state] {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  };
  for (size_t at = 0; at < image.size(); at += 1024) {
    const uint64_t kind = next() % 16;
    for (size_t k = at; k < at + 1024; ++k) {
      const uint64_t r = next();
      if (kind == 0) {
        image[k] = 0xFF;                                  // erased
      } else if (kind < 3) {
        image[k] = static_cast<uint8_t>(r % 32);          // table
      } else {
        image[k] = static_cast<uint8_t>(r >> 24);         // code
      }
    }
  }
  return image;
}

void PutByte(std::string& line, uint8_t value, uint8_t& sum) {
  static const char digits[] = "0123456789ABCDEF";
  line += digits[value >> 4];
  line += digits[value & 15];
  sum = static_cast<uint8_t>(sum + value);
}

void PutRecord(std::string& text, uint8_t type, uint16_t offset, const uint8_t* data, int count) {
  uint8_t sum = 0;
  text += ':';
  PutByte(text, static_cast<uint8_t>(count), sum);
  PutByte(text, static_cast<uint8_t>(offset >> 8), sum);
  PutByte(text, static_cast<uint8_t>(offset), sum);
  PutByte(text, type, sum);
  for (int k = 0; k < count; ++k) PutByte(text, data[k], sum);
  uint8_t ignored = 0;
  PutByte(text, static_cast<uint8_t>(-sum), ignored);
  text += "\r\n";
}

std::string HexText(const std::vector<uint8_t>& image) {
  std::string text;
  text.reserve(image.size() / RecordBytes * 46 + 64);
  for (size_t at = 0; at < image.size(); at += RecordBytes) {
    if (at % 0x10000 == 0) {
      const uint8_t upper[2] = {static_cast<uint8_t>(at >> 24), static_cast<uint8_t>(at >> 16)};
      PutRecord(text, 0x04, 0, upper, 2);
    }
    PutRecord(text, 0x00, static_cast<uint16_t>(at & 0xFFFF), image.data() + at, RecordBytes);
  }
  PutRecord(text, 0x01, 0, nullptr, 0);
  return text;
}

bool WriteFile(const std::string& path, const void* data, size_t size) {
  std::ofstream out(path, std::ios::binary);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  return static_cast<bool>(out);
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool OnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string folders = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= folders.size()) {
    size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    const std::string candidate = folders.substr(start, end - start) + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

// Runs a program to its end with its output silenced; the wall time in ms, or
// a negative number when it could not run or did not succeed.
double RunTimed(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const Clock::time_point start = Clock::now();
  pid_t pid = 0;
  const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  const double ms = Ms(Clock::now() - start);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ms : -1;
}

struct Result {
  const char* name;
  bool present = false;
  double bestMs = 0;
};

// kestrin-cli beside this program, with the delivered data files.
std::string CliBesideUs() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string("kestrin-cli") : (self.parent_path() / "kestrin-cli").string();
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 5;
  bool keep = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (std::strcmp(argv[i], "--mib") == 0 && i + 1 < argc) {
      ImageSize = std::clamp(std::atoi(argv[++i]), 1, 256) * 1024 * 1024;
    } else if (std::strcmp(argv[i], "--keep") == 0) {
      keep = true;
    } else {
      std::fprintf(stderr, "usage: hex_bench [--runs N] [--mib N] [--keep]\n");
      return 2;
    }
  }

  char pattern[] = "/tmp/kestrin-hexbench-XXXXXX";
  if (!mkdtemp(pattern)) {
    std::perror("hex_bench: mkdtemp");
    return 1;
  }
  const std::string folder = pattern;
  const std::string hexPath = folder + "/image.hex";
  const std::string binPath = folder + "/image.bin";
  const std::string outPath = folder + "/out.bin";

  const std::vector<uint8_t> image = MakeImage();
  const std::string text = HexText(image);
  if (!WriteFile(hexPath, text.data(), text.size()) || !WriteFile(binPath, image.data(), image.size())) {
    std::fprintf(stderr, "hex_bench: cannot write the input files in %s\n", folder.c_str());
    return 1;
  }
  const double textMb = static_cast<double>(text.size()) / 1e6;
  std::printf("Intel HEX conversion: %d KiB image, %.2f MB of text (%s), best of %d\n", ImageSize / 1024, textMb,
              hexPath.c_str(), runs);

  bool allEqual = true;

  // Kestrin's general loader, as the image manager calls it.
  Result kestrin{"Kestrin LoadHexFile"};
  double longestGapMs = 0;
  int turns = 0;
  {
    FakePlatform platform;
    GapWatch watch;
    Events = &watch;
    ProgType = 6;   // a type without the extended data sections
    std::vector<uint8_t> buffer;
    for (int r = 0; r < runs; ++r) {
      buffer.clear();
      buffer.shrink_to_fit();   // each run starts from nothing, as a fresh image does
      int32_t top = -1;
      watch.Start();
      const Clock::time_point start = Clock::now();
      const bool ok = LoadHexFile(buffer, ImageSize, top, 0xFF, &hexPath, 1);
      const double ms = Ms(Clock::now() - start);
      watch.Finish();
      if (!ok) {
        std::fprintf(stderr, "hex_bench: LoadHexFile failed: %d %s\n", LastErrorNumber, LastErrorText.c_str());
        return 1;
      }
      if (top != ImageSize - 1 || buffer.size() < image.size() ||
          !std::equal(image.begin(), image.end(), buffer.begin())) {
        std::fprintf(stderr, "hex_bench: LoadHexFile produced a different image (top %d)\n", top);
        allEqual = false;
      }
      kestrin.bestMs = r == 0 ? ms : std::min(kestrin.bestMs, ms);
      longestGapMs = std::max(longestGapMs, watch.longestMs);
      turns = watch.turns;
    }
    kestrin.present = true;
    Events = nullptr;
  }

  // The peers, as separate programs from start to end.
  struct Peer {
    Result result;
    std::vector<std::string> args;
  };
  const std::string cli = CliBesideUs();
  Peer peers[] = {
      {{"kestrin-cli convert"},
       {cli, "convert", "--device-type", CliDeviceType, "--type", "9", "--file", hexPath, "--out", outPath}},
      {{"objcopy"}, {"objcopy", "-I", "ihex", "-O", "binary", hexPath, outPath}},
      {{"srec_cat"}, {"srec_cat", hexPath, "-intel", "-o", outPath, "-binary"}},
  };
  for (Peer& peer : peers) {
    if (peer.args[0] == cli && ImageSize > CliDeviceFlash) {
      std::printf("  %s is skipped: no device type holds a %d KiB image\n", peer.result.name, ImageSize / 1024);
      continue;
    }
    if (peer.args[0] == cli ? access(cli.c_str(), X_OK) != 0 : !OnPath(peer.args[0])) {
      std::printf("  %s is not installed: its ratio is skipped (scripts/bench.sh installs it)\n",
                  peer.args[0].c_str());
      continue;
    }
    for (int r = 0; r < runs; ++r) {
      std::filesystem::remove(outPath);
      const double ms = RunTimed(peer.args);
      if (ms < 0) {
        std::fprintf(stderr, "hex_bench: %s failed on the image\n", peer.args[0].c_str());
        return 1;
      }
      if (ReadFile(outPath) != image) {
        std::fprintf(stderr, "hex_bench: %s produced a different image\n", peer.args[0].c_str());
        allEqual = false;
      }
      peer.result.bestMs = r == 0 ? ms : std::min(peer.result.bestMs, ms);
    }
    peer.result.present = true;
  }

  // Process against process: the peers' times over kestrin-cli's.
  const Result& cliResult = peers[0].result;
  std::printf("\n  %-22s %10s %10s %16s %22s\n", "tool", "best ms", "MB/s", "x the loader", "x kestrin-cli convert");
  std::printf("  %-22s %10.1f %10.1f %16s %22s\n", kestrin.name, kestrin.bestMs, textMb / (kestrin.bestMs / 1000.0),
              "-", "(in-process)");
  for (const Peer& peer : peers) {
    if (!peer.result.present) {
      std::printf("  %-22s %10s %10s %16s %22s\n", peer.result.name, "missing", "-", "-", "-");
      continue;
    }
    char versusCli[32] = "-";
    if (cliResult.present && &peer.result != &cliResult) {
      std::snprintf(versusCli, sizeof versusCli, "%.2fx", peer.result.bestMs / cliResult.bestMs);
    }
    std::printf("  %-22s %10.1f %10.1f %15.2fx %22s\n", peer.result.name, peer.result.bestMs,
                textMb / (peer.result.bestMs / 1000.0), peer.result.bestMs / kestrin.bestMs, versusCli);
  }
  // The goals: the whole conversion at least twice as fast as objcopy's, the
  // loader at least 500 MB/s of HEX text.
  const double loaderMbs = textMb / (kestrin.bestMs / 1000.0);
  std::printf("\n  LoadHexFile converts %.0f MB/s of HEX text: the %.0f MB/s goal is %s.\n", loaderMbs, LoaderGoalMbs,
              loaderMbs >= LoaderGoalMbs ? "met" : "NOT met");
  const Result& objcopy = peers[1].result;
  if (cliResult.present && objcopy.present) {
    const double ratio = objcopy.bestMs / cliResult.bestMs;
    std::printf("  kestrin-cli convert is %.2fx as fast as objcopy (%.1f ms against %.1f ms): the %.0fx goal is %s.\n",
                ratio, cliResult.bestMs, objcopy.bestMs, CliGoalRatio, ratio >= CliGoalRatio ? "met" : "NOT met");
  } else {
    std::printf("  kestrin-cli convert against objcopy: not measured (one of them did not run).\n");
  }
  std::printf("\n  Windows' turns during the Kestrin conversion: %d in the last run, longest gap %.1f ms "
              "over all runs (%s the %.0f ms budget)\n",
              turns, longestGapMs, longestGapMs <= BudgetMs ? "within" : "OVER", BudgetMs);
  std::printf("  kestrin-cli convert, objcopy and srec_cat are timed as whole programs (start, read, convert,\n"
              "  write the .bin); the loader's time is the call alone (read and convert into memory). The\n"
              "  last column is each program's time over kestrin-cli convert's (above 1: kestrin-cli is faster).\n");

  if (!keep) {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
  if (!allEqual) {
    std::printf("\nFAILED: a conversion did not reproduce the image\n");
    return 1;
  }
  std::printf("\nAll conversions reproduced the image.\n");
  return 0;
}
