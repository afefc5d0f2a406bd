#include "GrepSearch.h"

#include <unistd.h>

#include <cstring>
#include <stdexcept>

#include "ToolError.h"

namespace RegexComponent::tool {

namespace {

int DigitCount(std::uint64_t value) {
  int digits = 1;
  while (value >= 10) {
    value /= 10;
    ++digits;
  }
  return digits;
}

engine::LineSearchOptions Options(const GrepSettings& s, const GrepSink& sink) {
  engine::LineSearchOptions options;
  options.invert = s.invert;
  options.everyLine = sink.NeedsEveryLine();
  options.lineMatches = sink.UsesLineMatches();
  options.detectBinary = s.binaryFiles != BinaryFiles::Text;
  options.terminator = s.terminator;
  return options;
}

}  // namespace

GrepFileSearch::GrepFileSearch(const GrepSettings& s, const engine::LineMatcher& matcher, GrepSink& sink,
                               GrepWriter& out)
    : s_(s), sink_(sink), out_(out), search_(matcher, Options(s, sink)) {
  struct stat output {};
  outputIsFile_ = ::fstat(STDOUT_FILENO, &output) == 0 && S_ISREG(output.st_mode);
  output_ = output;
}

// grep refuses to read the file its output goes to, where that output
// could be fed back in: not when it prints no lines, nor at most one (-m0,
// -m1), which is read before it is written.
bool GrepFileSearch::ReadsOwnOutput(const struct stat& info) const {
  const bool printsLines = !s_.count && !s_.quiet && s_.listFiles == ListFiles::None;
  const bool mayLoop = s_.maxCount < 0 || s_.maxCount > 1;
  return printsLines && mayLoop && outputIsFile_ && S_ISREG(info.st_mode) && info.st_dev == output_.st_dev &&
         info.st_ino == output_.st_ino;
}

void GrepFileSearch::Fail(GrepFileResult& result, const std::string& name, const std::string& message) {
  result.trouble = true;
  const std::string line = GrepProblem(s_, name, message);
  if (!line.empty()) out_.Warn(line);
}

GrepFileResult GrepFileSearch::Search(int fd, const struct stat& info, const std::string& name, bool showName,
                                      engine::LineSink& lines) {
  GrepFileResult result;
  if (ReadsOwnOutput(info)) {
    Fail(result, name, "input file is also the output");
    return result;
  }
  const bool regular = S_ISREG(info.st_mode);
  // -T lines numbers up in a field as wide as grep makes it: as many digits
  // as the file's size has, or its size plus one with -n (a 9-byte file
  // gets two columns), or the largest int64 when the file has no size.
  const std::uint64_t largest = static_cast<std::uint64_t>(info.st_size) + (s_.lineNumber ? 1 : 0);
  const int width = !s_.initialTab ? 0 : regular ? DigitCount(largest) : 19;
  sink_.Begin(name, showName, width);
  try {
    search_.Run(fd, regular ? static_cast<std::uint64_t>(info.st_size) : 0, lines);
  } catch (const std::runtime_error& e) {
    // The engine gave up on this file (an expression too costly to match
    // here); the other files are still searched.
    Fail(result, name, e.what());
  }
  if (search_.ReadError() != 0) Fail(result, name, std::strerror(search_.ReadError()));
  sink_.End();
  result.searched = true;
  result.tally = sink_.Tally();
  return result;
}

GrepSequential::GrepSequential(const GrepSettings& s, const engine::LineMatcher& matcher, GrepSink& sink,
                               GrepWriter& out)
    : s_(s), out_(out), search_(s, matcher, sink, out) {}

bool GrepSequential::Search(engine::UniqueFd& fd, const struct stat& info, const std::string& name,
                            bool showName) {
  return Settle(search_.Search(fd.get(), info, name, showName, search_.Sink()));
}

bool GrepSequential::Search(GrepFileRef&& file) { return OpenAndSearch(s_, *this, file); }

void GrepSequential::Report(const std::string& line, bool trouble) {
  if (!line.empty()) out_.Warn(line);
  trouble_ = trouble_ || trouble;
}

bool GrepSequential::Settle(const GrepFileResult& result) {
  trouble_ = trouble_ || result.trouble;
  if (result.tally.lines > 0) anySelected_ = true;
  return !(s_.quiet && anySelected_);
}

int GrepSequential::Status() const {
  if (s_.quiet && anySelected_) return kFound;
  if (trouble_) return kTrouble;
  return anySelected_ ? kFound : kNotFound;
}

}  // namespace RegexComponent::tool
