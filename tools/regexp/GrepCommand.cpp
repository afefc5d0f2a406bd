// `regexp grep`: GNU grep's command line over the engine's line search.
//
// External interface: RunGrepCommand (declared in GrepCommand.h).
#include "GrepCommand.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "GrepJson.h"
#include "GrepOptions.h"
#include "GrepOutput.h"
#include "GrepWalk.h"
#include "GrepWriter.h"
#include "ToolError.h"
#include "engine/FlagWords.h"
#include "engine/GnuBasic.h"
#include "engine/LineMatcher.h"
#include "engine/LineSearch.h"

namespace RegexComponent::tool {

namespace {

namespace syntax = engine::syntax;

std::uint32_t SyntaxWord(const GrepSettings& s) {
  std::uint32_t word = 0;
  switch (s.syntax) {
    // Basic patterns are respelled in the Extended syntax (Patterns below).
    case GrepSyntax::Basic:
    case GrepSyntax::Extended: word = syntax::Extended; break;
    case GrepSyntax::Fixed: word = syntax::Literals; break;
    case GrepSyntax::Perl: word = syntax::Normal; break;
  }
  return s.ignoreCase ? word | syntax::CaseInsensitive : word;
}

// GNU's basic syntax has word and buffer escapes that Boost's basic grammar
// lacks; see engine/GnuBasic.h.
std::vector<std::string> Patterns(const GrepSettings& s) {
  if (s.syntax != GrepSyntax::Basic) return s.patterns;
  std::vector<std::string> respelled;
  for (const std::string& pattern : s.patterns) respelled.push_back(engine::GnuBasicToExtended(pattern));
  return respelled;
}

// As grep does, no pattern at all (-f /dev/null) selects what the empty
// pattern rejects: the settings become -v '' with the sense turned round.
void NoPatternIsInvertedEmpty(GrepSettings& s) {
  if (!s.patterns.empty()) return;
  s.patterns.emplace_back();
  s.invert = !s.invert;
  s.lineRegexp = s.wordRegexp = false;
}

// What grep sees needs no reading at all: -m 0, or -v with only the empty
// pattern, which every line matches.
bool NothingCanBeSelected(const GrepSettings& s) {
  const bool onlyEmpty = s.patterns.size() == 1 && s.patterns[0].empty();
  const bool invertedEmpty = onlyEmpty && s.invert && !s.lineRegexp && !s.wordRegexp;
  return (s.maxCount == 0 || invertedEmpty) && s.listFiles != ListFiles::NonMatching;
}

engine::LineFit Fit(const GrepSettings& s) {
  if (s.lineRegexp) return engine::LineFit::WholeLine;
  return s.wordRegexp ? engine::LineFit::Word : engine::LineFit::Anywhere;
}

std::unique_ptr<GrepColors> ChooseColors(const GrepSettings& s) {
  bool on = s.color == ColorWhen::Always;
  if (s.color == ColorWhen::Auto) {
    const char* term = std::getenv("TERM");
    on = ::isatty(STDOUT_FILENO) && term && std::strcmp(term, "dumb") != 0;
  }
  if (!on) return nullptr;
  return std::make_unique<GrepColors>(ParseGrepColors(std::getenv("GREP_COLORS")));
}

int DigitCount(std::uint64_t value) {
  int digits = 1;
  while (value >= 10) {
    value /= 10;
    ++digits;
  }
  return digits;
}

class Searcher : public GrepFileHandler {
 public:
  Searcher(const GrepSettings& s, const engine::LineMatcher& matcher, GrepSink& sink)
      : s_(s), sink_(sink), search_(matcher, Options(s, sink)) {
    struct stat out {};
    outputIsFile_ = ::fstat(STDOUT_FILENO, &out) == 0 && S_ISREG(out.st_mode);
    output_ = out;
  }

  void SetWalk(GrepWalk& walk) { walk_ = &walk; }
  bool AnySelected() const { return anySelected_; }

  bool Search(int fd, const struct stat& info, const std::string& name, bool showName) override {
    if (ReadsOwnOutput(info)) {
      walk_->Fail(name, "input file is also the output");
      return true;
    }
    const bool regular = S_ISREG(info.st_mode);
    // -T lines numbers up in a field as wide as the file's size needs.
    const int width = !s_.initialTab ? 0 : regular ? DigitCount(static_cast<std::uint64_t>(info.st_size)) : 19;
    sink_.Begin(name, showName, width);
    try {
      search_.Run(fd, regular ? static_cast<std::uint64_t>(info.st_size) : 0, sink_);
    } catch (const std::runtime_error& e) {
      // The engine gave up on this file (an expression too costly to match
      // here); the other files are still searched.
      walk_->Fail(name, e.what());
    }
    if (search_.ReadError() != 0) walk_->Fail(name, std::strerror(search_.ReadError()));
    if (sink_.End() > 0) anySelected_ = true;
    return !(s_.quiet && anySelected_);
  }

 private:
  static engine::LineSearchOptions Options(const GrepSettings& s, const GrepSink& files) {
    engine::LineSearchOptions options;
    options.invert = s.invert;
    options.everyLine = files.NeedsEveryLine();
    options.lineMatches = files.UsesLineMatches();
    options.detectBinary = s.binaryFiles != BinaryFiles::Text;
    return options;
  }

  // grep refuses to read the file its output goes to, where that output
  // would be fed back in.
  bool ReadsOwnOutput(const struct stat& info) const {
    const bool printsLines = !s_.count && !s_.quiet && s_.listFiles == ListFiles::None;
    return printsLines && outputIsFile_ && S_ISREG(info.st_mode) && info.st_dev == output_.st_dev &&
           info.st_ino == output_.st_ino;
  }

  const GrepSettings& s_;
  GrepSink& sink_;
    engine::LineSearch search_;
  GrepWalk* walk_ = nullptr;
  bool outputIsFile_ = false;
  struct stat output_ {};
  bool anySelected_ = false;
};

int Search(const GrepSettings& s, const engine::LineMatcher& matcher, GrepWriter& out) {
  const std::unique_ptr<GrepColors> colors = ChooseColors(s);
  GrepPrinter printer(s, matcher, out, colors.get());
  GrepJsonPrinter json(s, matcher, out);
  GrepSink& sink = s.json ? static_cast<GrepSink&>(json) : printer;
  Searcher searcher(s, matcher, sink);
  GrepWalk walk(s, searcher);
  searcher.SetWalk(walk);
  walk.Run();
  if (s.json) json.Summary();
  out.Flush();
  if (s.quiet && searcher.AnySelected()) return kFound;
  if (walk.Trouble()) return kTrouble;
  return searcher.AnySelected() ? kFound : kNotFound;
}

}  // namespace

int RunGrepCommand(int argc, char** argv, int first) {
  GrepSettings s;
  if (const int status = ParseGrepArguments(argc, argv, first, s); status >= 0) return status;
  NoPatternIsInvertedEmpty(s);
  if (NothingCanBeSelected(s)) return kNotFound;
  std::unique_ptr<engine::LineMatcher> matcher;
  try {
    matcher = std::make_unique<engine::LineMatcher>(Patterns(s), SyntaxWord(s), Fit(s));
  } catch (const boost::regex_error& e) {
    std::fprintf(stderr, "regexp: %s\n", e.what());
    return kTrouble;
  }
  GrepWriter out;
  try {
    return Search(s, *matcher, out);
  } catch (const OutputClosed&) {
    // The reader went away (as with `| head`): stop without a word.
    return kTrouble;
  }
}

}  // namespace RegexComponent::tool
