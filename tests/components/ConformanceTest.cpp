// Runs the POSIX BRE/ERE conformance cases through the component in Basic
// and Extended mode and checks, case by case, that it gives exactly what
// raw Boost gives for the same grammar and flags: the same compile error,
// or the same match (start, end and every group). How often raw Boost
// agrees with the suite's own expected outcomes is printed for information.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <RegexComponent/RegularExpressionCustom.h>

#include "EventRecorder.h"
#include "components/ComponentTestAccess.h"
#include "engine/expression/FlagWords.h"

using namespace RegexComponent;
using RE = RegularExpressionCustom;
using RegexComponent::testing::EventRecorder;
namespace bc = boost::regex_constants;

namespace {

// ---------------------------------------------------------------------------
// The suite's files

struct SuiteCase {
  std::string where;  // file:line
  std::string flags;
  std::string pattern;
  std::string subject;
  std::string expected;
};

std::vector<std::string> SplitFields(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t at = 0;
  while (at < line.size()) {
    const std::size_t tab = line.find('\t', at);
    fields.push_back(line.substr(at, tab - at));
    if (tab == std::string::npos) break;
    at = line.find_first_not_of('\t', tab);
  }
  return fields;
}

// A case line's first field starts with a syntax or engine letter; a '{'
// before it opens a block that only matters to engines that skip features.
std::vector<SuiteCase> LoadSuite() {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(RC_CONFORMANCE_DIR))
    if (entry.path().extension() == ".dat") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  std::vector<SuiteCase> cases;
  for (const auto& path : files) {
    std::ifstream in(path);
    std::string line;
    std::string previousPattern;
    for (int number = 1; std::getline(in, line); ++number) {
      std::vector<std::string> f = SplitFields(line);
      if (f.size() < 4 || f[0].empty()) continue;
      if (f[0][0] == '{') f[0].erase(0, 1);
      if (f[0].empty() || std::string_view("BEASKLP").find(f[0][0]) == std::string_view::npos) continue;
      if (f[1] == "SAME") f[1] = previousPattern;
      previousPattern = f[1];
      cases.push_back({path.filename().string() + ":" + std::to_string(number), f[0], f[1], f[2], f[3]});
    }
  }
  return cases;
}

// C escapes as the suite's '$' flag means them; an unknown escape stays.
std::string ExpandEscapes(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char c = text[++i];
    static const std::map<char, char> kSimple{{'n', '\n'}, {'t', '\t'}, {'r', '\r'},   {'f', '\f'},
                                              {'v', '\v'}, {'a', '\a'}, {'e', '\x1b'}, {'\\', '\\'}};
    if (auto s = kSimple.find(c); s != kSimple.end()) {
      out += s->second;
    } else if (c == 'x') {
      std::size_t used = 0;
      int value = 0;
      while (used < 2 && i + 1 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1]))) {
        value = value * 16 + std::stoi(std::string(1, text[++i]), nullptr, 16);
        ++used;
      }
      out += static_cast<char>(value);
    } else if (c >= '0' && c <= '7') {
      int value = c - '0';
      for (int n = 0; n < 2 && i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '7'; ++n)
        value = value * 8 + (text[++i] - '0');
      out += static_cast<char>(value);
    } else {
      out += '\\';
      out += c;
    }
  }
  return out;
}

struct RunFlags {
  bool basic = false, extended = false, icase = false, notBol = false, notEol = false, expand = false;
  int slotsChecked = -1;  // a digit limits how many slots the suite's outcome lists
  std::string unsupported;
};

RunFlags ReadFlags(const std::string& field) {
  RunFlags r;
  for (const char c : field) {
    switch (c) {
      case 'B': r.basic = true; break;
      case 'E': r.extended = true; break;
      case 'i': r.icase = true; break;
      case 'b': r.notBol = true; break;
      case 'e': r.notEol = true; break;
      case '$': r.expand = true; break;
      default:
        if (c >= '0' && c <= '9') r.slotsChecked = c - '0';
        else r.unsupported += c;
    }
  }
  if (!r.basic && !r.extended && r.unsupported.empty()) r.unsupported = field;
  return r;
}

// ---------------------------------------------------------------------------
// One run, as the component and as raw Boost see it

struct Outcome {
  int error = 0;  // low byte of the compile status
  bool matched = false;
  unsigned slots = 0;
  std::vector<std::pair<long, long>> positions;  // -1 for a group that took no part
  CPPStringArray parts;                          // GetMatchingStrings' layout
  unsigned line = 0, lineStart = 0;

  bool operator==(const Outcome&) const = default;
};

void PrintTo(const Outcome& o, std::ostream* os) {
  *os << "{error " << o.error << ", matched " << o.matched << ", slots " << o.slots << ", at";
  for (const auto& [b, e] : o.positions) *os << " (" << b << "," << e << ")";
  *os << ", parts";
  for (const auto& p : o.parts) *os << " '" << p << "'";
  *os << ", line " << o.line << "/" << o.lineStart << "}";
}

void Describe(const reg_match& m, Outcome& out) {
  for (std::size_t i = 0; i < m.size(); ++i) {
    const int n = static_cast<int>(i);
    out.positions.emplace_back(m[n].matched ? m.position(i) : -1, m[n].matched ? m.position(i) + m.length(n) : -1);
  }
}

// The held results, read so group positions, not only texts, are compared.
const reg_match* Held(const RE& re) {
  const auto& held = ComponentTestAccess::StateOf(re).LastMatch;
  return held ? &held->Results : nullptr;
}

struct SyntaxRun {
  bool basic;
  RunFlags flags;
  std::string pattern;
  std::string subject;
};

Outcome ThroughComponent(const SyntaxRun& run) {
  RE re(nullptr);
  RE::OptionsSet options{run.basic ? RE::Basic : RE::Extended};
  if (run.flags.icase) options << RE::CaseInsensitive;
  re.ExpressionOptions = options;
  const std::uint32_t mode = run.basic ? engine::syntax::Basic : engine::syntax::Extended;
  EXPECT_EQ(re.GetFlagOptions(), mode | (run.flags.icase ? engine::syntax::CaseInsensitive : 0u));
  RE::MatchesSet matches = re.MatchOptions;
  if (run.flags.notBol) matches << RE::MatchNotBeginningOfLine;
  if (run.flags.notEol) matches << RE::MatchNotEndOfLine;
  re.MatchOptions = matches;
  EXPECT_EQ(re.GetMatchFlags(), (run.flags.notBol ? engine::match::NotBeginningOfLine : 0u) |
                                    (run.flags.notEol ? engine::match::NotEndOfLine : 0u));
  EventRecorder searching;
  re.OnSearching = Bind(&searching, &EventRecorder::Matching);
  re.Expression = AnsiString(run.pattern);
  re.StringToMatch = AnsiString(run.subject);

  Outcome out;
  out.error = re.ParseExpression();
  if (out.error != 0) return out;
  out.slots = re.NumberOfSubexpressions();
  out.matched = re.Search();
  if (!out.matched) return out;
  EXPECT_EQ(searching.Events.size(), 1u);
  if (searching.Events.empty()) return out;
  out.parts = searching.Events[0].Parts;
  out.line = searching.Events[0].LineIndex;
  out.lineStart = searching.Events[0].StartOfLine;
  EXPECT_EQ(re.GetMatchingStrings(), out.parts);
  if (const reg_match* held = Held(re)) Describe(*held, out);
  return out;
}

Outcome ThroughBoost(const SyntaxRun& run, reg_match& m) {
  bc::syntax_option_type syntax = run.basic ? boost::regex::basic : boost::regex::extended;
  if (run.flags.icase) syntax |= boost::regex::icase;
  const boost::regex expression(run.pattern.data(), run.pattern.data() + run.pattern.size(),
                                syntax | boost::regex::no_except);
  Outcome out;
  out.error = static_cast<int>(expression.status()) & 0xFF;
  if (out.error != 0) return out;
  out.slots = static_cast<unsigned>(expression.mark_count()) + 1;
  bc::match_flag_type flags = bc::match_posix;
  if (run.flags.notBol) flags |= bc::match_not_bol;
  if (run.flags.notEol) flags |= bc::match_not_eol;
  const char* begin = run.subject.data();
  out.matched = boost::regex_search(begin, begin + run.subject.size(), m, expression, flags);
  if (!out.matched) return out;
  for (std::size_t i = 0; i < m.size(); ++i) out.parts.push_back(m[static_cast<int>(i)].str());
  out.parts.insert(out.parts.end(), {"", m.prefix().str(), m.suffix().str()});
  const std::string before = m.prefix().str();
  out.line = 1 + static_cast<unsigned>(std::count(before.begin(), before.end(), '\n'));
  const std::size_t lastFeed = before.rfind('\n');
  out.lineStart = lastFeed == std::string::npos ? 0 : static_cast<unsigned>(lastFeed + 1);
  Describe(m, out);
  return out;
}

// ---------------------------------------------------------------------------
// The suite's expected outcome, for the informational agreement rate

std::optional<std::vector<std::pair<long, long>>> ReadPairs(const std::string& text) {
  std::vector<std::pair<long, long>> pairs;
  std::istringstream in(text);
  char open;
  std::string first, second;
  while (in >> open) {
    if (open != '(') return std::nullopt;
    std::getline(in, first, ',');
    std::getline(in, second, ')');
    const auto value = [](const std::string& s) { return s == "?" ? -1L : std::stol(s); };
    pairs.emplace_back(value(first), value(second));
  }
  return pairs;
}

bool BoostAgreesWithSuite(const std::string& expected, const RunFlags& flags, const Outcome& raw) {
  if (expected == "NOMATCH") return raw.error == 0 && !raw.matched;
  if (expected == "OK") return raw.error == 0 && raw.matched;
  if (expected.empty() || expected[0] != '(') return raw.error != 0;  // a compile error's name
  const auto pairs = ReadPairs(expected);
  if (!pairs || raw.error != 0 || !raw.matched) return false;
  const std::size_t checked = flags.slotsChecked >= 0 ? static_cast<std::size_t>(flags.slotsChecked)
                                                      : raw.positions.size();
  for (std::size_t i = 0; i < checked && i < raw.positions.size(); ++i) {
    const std::pair<long, long> want = i < pairs->size() ? (*pairs)[i] : std::pair<long, long>{-1, -1};
    if (raw.positions[i] != want) return false;
  }
  return true;
}

TEST(Conformance, ComponentGivesWhatRawBoostGivesForEveryBasicAndExtendedCase) {
  const std::vector<SuiteCase> suite = LoadSuite();
  ASSERT_FALSE(suite.empty()) << "no cases under " << RC_CONFORMANCE_DIR;
  std::size_t compared = 0, agreeing = 0, truncated = 0, skippedLines = 0;
  std::map<std::string, int> skippedFor;
  std::vector<std::string> disagreements;
  for (const SuiteCase& c : suite) {
    const RunFlags flags = ReadFlags(c.flags);
    if (!flags.unsupported.empty()) {
      ++skippedLines;
      ++skippedFor[flags.unsupported];
      continue;
    }
    std::string pattern = c.pattern == "NULL" ? "" : c.pattern;
    std::string subject = c.subject == "NULL" ? "" : c.subject;
    if (flags.expand) {
      pattern = ExpandEscapes(pattern);
      subject = ExpandEscapes(subject);
    }
    // The component's texts end at their first NUL; raw Boost gets the same.
    for (std::string* text : {&pattern, &subject}) {
      if (const std::size_t nul = text->find('\0'); nul != std::string::npos) {
        text->resize(nul);
        ++truncated;
      }
    }
    for (const bool basic : {true, false}) {
      if (!(basic ? flags.basic : flags.extended)) continue;
      const SyntaxRun run{basic, flags, pattern, subject};
      SCOPED_TRACE(c.where + (basic ? " B " : " E ") + pattern + " / " + subject);
      reg_match m;
      const Outcome raw = ThroughBoost(run, m);
      EXPECT_EQ(ThroughComponent(run), raw);
      ++compared;
      if (BoostAgreesWithSuite(c.expected, flags, raw)) {
        ++agreeing;
      } else {
        disagreements.push_back(c.where + (basic ? " B " : " E ") + pattern + "  " + subject + "  expected " +
                                c.expected);
      }
    }
  }
  std::cout << "conformance: " << compared << " runs compared with raw Boost (" << suite.size()
            << " case lines, " << skippedLines << " skipped for features:";
  for (const auto& [letters, count] : skippedFor) std::cout << " '" << letters << "' x" << count;
  std::cout << "; " << truncated << " texts cut at a NUL)\n";
  std::cout << "conformance: raw Boost agrees with the suite's expected outcome in " << agreeing << " of "
            << compared << " runs (" << (compared ? 100.0 * agreeing / compared : 0.0) << "%)\n";
  for (const std::string& d : disagreements) std::cout << "  boost differs: " << d << "\n";
  RecordProperty("compared", static_cast<int>(compared));
  RecordProperty("boost_agrees", static_cast<int>(agreeing));
  // Every runnable case line is compared; a reader that lost lines would
  // make the comparison above vacuous.
  EXPECT_GE(compared, suite.size() - skippedLines);
  EXPECT_GE(compared, 400u);
}

}  // namespace
