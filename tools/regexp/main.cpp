// regexp: a command-line front end over the RegularExpression component.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "CommandLine.h"
#include "Commands.h"
#include "GrepCommand.h"
#include "ToolError.h"

using namespace RegexComponent::tool;

namespace {

int Report(const char* message) {
  std::fflush(stdout);
  std::fprintf(stderr, "regexp: %s\n", message);
  return kTrouble;
}

// Everything the commands or the engine throw ends here as one line on
// stderr: the tool's own errors, the engine's (an expression too complex
// to match, for one) and running out of memory.
template <typename Run>
int RunReported(Run run) {
  try {
    return run();
  } catch (const ToolError& e) {
    return Report(e.what());
  } catch (const std::bad_alloc&) {
    return Report("out of memory");
  } catch (const std::exception& e) {
    return Report((std::string("matching failed: ") + e.what()).c_str());
  }
}

// Output that could not be written (a full disk, a closed pipe) is an error.
int FlushOutput(int status) {
  if (std::fflush(stdout) != 0 || std::ferror(stdout))
    return Report((std::string("write error: ") + std::strerror(errno)).c_str());
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  // grep reads its command line as GNU grep does, not through CLI11.
  if (argc > 1 && std::strcmp(argv[1], "grep") == 0)
    return FlushOutput(RunReported([&] { return RunGrepCommand(argc, argv, 2); }));
  Settings settings;
  if (const int status = ParseCommandLine(argc, argv, settings); status >= 0) return status;
  return FlushOutput(RunReported([&] { return RunCommand(settings); }));
}
