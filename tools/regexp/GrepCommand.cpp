// `regexp grep`: GNU grep's command line over the engine's line search.
//
// External interface: RunGrepCommand (declared in GrepCommand.h).
#include "GrepCommand.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#include "GrepJson.h"
#include "GrepOperands.h"
#include "GrepOptions.h"
#include "GrepOutput.h"
#include "GrepParallel.h"
#include "GrepSearch.h"
#include "GrepWriter.h"
#include "ToolError.h"
#include "engine/expression/FlagWords.h"
#include "engine/expression/GnuBasic.h"
#include "engine/match/LineMatcher.h"

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
// lacks; see engine/expression/GnuBasic.h.
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
// pattern, which every line matches. grep drops repeated patterns first, so
// -e '' -e '' is the empty pattern alone. -L still lists every file, unless
// -q (which overrides it) or --json (which ignores it) is given.
bool NothingCanBeSelected(const GrepSettings& s) {
  const auto empty = [](const std::string& pattern) { return pattern.empty(); };
  const bool onlyEmpty = !s.patterns.empty() && std::all_of(s.patterns.begin(), s.patterns.end(), empty);
  const bool invertedEmpty = onlyEmpty && s.invert && !s.lineRegexp && !s.wordRegexp;
  const bool listsUnselected = s.listFiles == ListFiles::NonMatching && !s.quiet && !s.json;
  return (s.maxCount == 0 || invertedEmpty) && !listsUnselected;
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

// The worker threads for the search: none when one file is searched, the
// output is flushed line by line, or --threads=1 asks for none.
unsigned Workers(const GrepSettings& s) {
  const bool severalFiles = s.directories == Directories::Recurse || s.files.size() > 1;
  if (!severalFiles || s.lineBuffered || s.threads == 1) return 0;
  return s.threads != 0 ? s.threads : std::max(1u, std::thread::hardware_concurrency());
}

int Search(const GrepSettings& s, const engine::LineMatcher& matcher, GrepWriter& out) {
  const std::unique_ptr<GrepColors> colors = ChooseColors(s);
  GrepParallelLimits limits;
  limits.workers = Workers(s);
  return SearchFiles(s, matcher, colors.get(), out, limits);
}

}  // namespace

int RunGrepCommand(int argc, char** argv, int first) {
  GrepSettings s;
  if (const int status = ParseGrepArguments(argc, argv, first, s); status >= 0) return status;
  NoPatternIsInvertedEmpty(s);
  if (NothingCanBeSelected(s)) return kNotFound;
  std::unique_ptr<engine::LineMatcher> matcher;
  try {
    matcher = std::make_unique<engine::LineMatcher>(Patterns(s), SyntaxWord(s), Fit(s), s.terminator);
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
