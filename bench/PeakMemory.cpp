// Peak memory of GrepFiles over one large generated file.
//
// The program writes the file, then runs itself again as a child process
// (fork and exec, so the child starts with a fresh address space and its own
// high-water mark) that greps the file with the component and reports how
// far its peak resident set grew during the call. The file is deleted
// afterwards.
//
//   rc_bench_peakmem [--size-mib N] [--dir DIR]
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include <RegexComponent/RegularExpression.h>

#include "TextGenerator.h"

namespace {

using namespace RegexComponent;

// A field of /proc/self/status in KiB, e.g. "VmHWM" or "VmRSS"; -1 if absent.
long StatusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  const std::string prefix = std::string(field) + ":";
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(prefix, 0) == 0) return std::strtol(line.c_str() + prefix.size(), nullptr, 10);
  }
  return -1;
}

int Measure(const char* path, long sizeMiB) {
  RegularExpression re(nullptr);
  re.Expression = "alpha|beta|gamma";
  re.FilesToMatch = path;
  const long rssBefore = StatusKiB("VmRSS");
  const long peakBefore = StatusKiB("VmHWM");
  const auto start = std::chrono::steady_clock::now();
  const std::uint32_t matches = re.GrepFiles();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const long peakAfter = StatusKiB("VmHWM");
  if (rssBefore < 0 || peakAfter < 0) {
    std::fprintf(stderr, "no VmRSS/VmHWM in /proc/self/status\n");
    return 1;
  }
  const char* unit = sizeMiB % 1024 == 0 ? "GiB" : "MiB";
  const long shown = sizeMiB % 1024 == 0 ? sizeMiB / 1024 : sizeMiB;
  std::printf("PEAKMEM grepfiles_%ld%s %.1f (file %ld MiB)\n", shown, unit, (peakAfter - rssBefore) / 1024.0,
              sizeMiB);
  std::printf("  peak RSS grew from %.1f MiB to %.1f MiB (high-water mark before the call %.1f MiB); "
              "%u matches in %.2f s\n",
              rssBefore / 1024.0, peakAfter / 1024.0, peakBefore / 1024.0, matches, seconds);
  return matches > 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  long sizeMiB = 1024;
  std::string dir = "/tmp";
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--measure") && i + 2 < argc) return Measure(argv[i + 1], std::atol(argv[i + 2]));
    if (!std::strcmp(argv[i], "--size-mib") && i + 1 < argc) sizeMiB = std::atol(argv[++i]);
    else if (!std::strcmp(argv[i], "--dir") && i + 1 < argc) dir = argv[++i];
    else {
      std::fprintf(stderr, "usage: %s [--size-mib N] [--dir DIR]\n", argv[0]);
      return 2;
    }
  }
  if (sizeMiB <= 0) return 2;
  const std::string path = dir + "/rc-bench-peakmem-" + std::to_string(::getpid()) + ".txt";
  if (!bench::WriteTextFile(path.c_str(), static_cast<std::uint64_t>(sizeMiB) << 20)) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::remove(path.c_str());
    return 1;
  }
  std::fflush(stdout);
  const std::string size = std::to_string(sizeMiB);
  const pid_t child = ::fork();
  if (child == 0) {
    char* args[] = {argv[0], const_cast<char*>("--measure"), const_cast<char*>(path.c_str()),
                    const_cast<char*>(size.c_str()), nullptr};
    ::execv("/proc/self/exe", args);
    std::_Exit(127);
  }
  int status = 1;
  if (child > 0) ::waitpid(child, &status, 0);
  std::remove(path.c_str());
  return child > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
