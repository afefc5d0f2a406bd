#include "RegexComponent/RegularExpressionCustom.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "engine/FlagWords.h"
#include "engine/FormatExpander.h"
#include "engine/MatchFlags.h"
#include "engine/MergeEngine.h"
#include "engine/RegEx.h"
#include "engine/SyntaxTranslator.h"

namespace RegexComponent {

using RC = RegularExpressionCustom;

RegularExpressionCustom* RegularExpressionCustom::CurrentPointer = nullptr;
TCriticalSection* RegularExpressionCustom::FileOperationLock = nullptr;
std::atomic<unsigned> RegularExpressionCustom::FileSearchWorkers{1};

namespace {

// Sets a variable for the lifetime of the guard and puts the earlier value
// back on every exit, exceptions included; nested operations therefore
// hand the state back to the operation that was running before them.
template <class T>
class ScopedValue {
 public:
  ScopedValue(T& variable, T value) : variable_(variable), saved_(variable) { variable_ = value; }
  ~ScopedValue() { variable_ = saved_; }
  ScopedValue(const ScopedValue&) = delete;
  ScopedValue& operator=(const ScopedValue&) = delete;

 private:
  T& variable_;
  T saved_;
};

const std::shared_ptr<const std::string>& EmptySubject() {
  static const auto empty = std::make_shared<const std::string>();
  return empty;
}

// The stored texts end at their first NUL byte, as the framework string
// they come from is read as NUL-terminated text.
std::string UpToNul(const AnsiString& value) { return std::string(value.c_str()); }

std::mutex& LockCreationMutex() {
  static std::mutex mutex;
  return mutex;
}

// Line number (1-based) and line start offset of `position` in [begin, ...).
std::pair<unsigned, unsigned> LineOf(const char* begin, const char* position) {
  unsigned line = 1;
  const char* lineStart = begin;
  for (const char* p = begin; p < position;) {
    const void* lf = std::memchr(p, '\n', static_cast<std::size_t>(position - p));
    if (!lf) break;
    p = static_cast<const char*>(lf) + 1;
    ++line;
    lineStart = p;
  }
  return {line, static_cast<unsigned>(lineStart - begin)};
}

}  // namespace

// ---------------------------------------------------------------------------
// Construction and destruction

RegularExpressionCustom::RegularExpressionCustom(TComponent* Owner)
    : TComponent(Owner), ExpressionLocale(std::locale()), FStringToMatch(EmptySubject()) {
  CreateFileOperationLock();
  FExpressionOptions << CharacterClasses << Intervals << BackReferences << NoLocaleSpecificCollation
                     << EscapeInCharacterSets << Normal;
  FMatchOptions << MatchDefault;
}

// Members are destroyed in reverse order of declaration: LastMatch, the
// compiled expression, the texts, the locale, then the base.
RegularExpressionCustom::~RegularExpressionCustom() = default;

TCriticalSection& RegularExpressionCustom::CreateFileOperationLock() {
  std::lock_guard guard(LockCreationMutex());
  if (!FileOperationLock) FileOperationLock = new TCriticalSection;
  return *FileOperationLock;
}

void RegularExpressionCustom::FreeFileOperationLock() {
  std::lock_guard guard(LockCreationMutex());
  delete FileOperationLock;
  FileOperationLock = nullptr;
}

// ---------------------------------------------------------------------------
// Texts

AnsiString RC::GetExpression() const { return AnsiString(FExpression.c_str()); }
void RC::SetExpression(AnsiString value) {
  FExpression = UpToNul(value);
  ExpressionParsed = false;
}

AnsiString RC::GetStringToMatch() const { return AnsiString(FStringToMatch->c_str()); }
void RC::SetStringToMatch(AnsiString value) {
  const char* text = value.c_str();
  FStringToMatch = *text ? std::make_shared<const std::string>(text) : EmptySubject();
}

AnsiString RC::GetFilesToMatch() const { return AnsiString(FFilesToMatch.c_str()); }
void RC::SetFilesToMatch(AnsiString value) { FFilesToMatch = UpToNul(value); }

AnsiString RC::GetFormatString() const { return AnsiString(FFormatString.c_str()); }
void RC::SetFormatString(AnsiString value) { FFormatString = UpToNul(value); }

// ---------------------------------------------------------------------------
// Expression options

namespace {
using OptionsSet = RC::OptionsSet;

const OptionsSet kCommon{RC::CharacterClasses, RC::Intervals, RC::BackReferences};
const OptionsSet kNormalExtras{RC::EscapeInCharacterSets, RC::NoLocaleSpecificCollation};
const OptionsSet kBasicExtras{RC::LimitedOperations, RC::BracesNotOperators, RC::ParenthesesNotOperators};

bool HasAll(OptionsSet set, OptionsSet members) { return (set * members) == members; }

bool ModeAdded(OptionsSet n, OptionsSet s, RC::Options mode) { return n.Contains(mode) && !s.Contains(mode); }

// Rule 7: the mode members follow the individual members.
OptionsSet RederiveMode(OptionsSet set) {
  if (set.Contains(RC::Extended)) {
    if (!HasAll(set, kCommon)) set >> RC::Extended;
  } else if (set.Contains(RC::Normal)) {
    if (!HasAll(set, kCommon + kNormalExtras)) set >> RC::Normal;
  } else if (set.Contains(RC::Basic)) {
    if (!HasAll(set, kCommon + kBasicExtras)) set >> RC::Basic;
  }
  if (!HasAll(set, kCommon)) return set;
  if (HasAll(set, kNormalExtras)) {
    set << RC::Normal >> RC::Basic >> RC::Extended;
  } else if (HasAll(set, kBasicExtras)) {
    set << RC::Basic >> RC::Extended;
  } else {
    set << RC::Extended;
  }
  return set;
}

// The mode-consistency rules; `n` is the requested set, `s` the stored one.
OptionsSet ApplyOptionRules(OptionsSet n, OptionsSet s) {
  OptionsSet r = n;
  if (ModeAdded(n, s, RC::Extended)) {
    r += kCommon;
    if (r.Contains(RC::Normal)) (r -= kNormalExtras) >> RC::Normal;
    else if (r.Contains(RC::Basic)) (r -= kBasicExtras) >> RC::Basic;
  } else if (ModeAdded(n, s, RC::Normal)) {
    r += kCommon + kNormalExtras;
    if (r.Contains(RC::Basic)) (r -= kBasicExtras) >> RC::Basic;
    else if (r.Contains(RC::Extended)) r >> RC::Extended;
  } else if (ModeAdded(n, s, RC::Basic)) {
    r += kCommon + kBasicExtras;
    if (r.Contains(RC::Normal)) (r -= kNormalExtras) >> RC::Normal;
    else if (r.Contains(RC::Extended)) r >> RC::Extended;
  } else if (ModeAdded(s, n, RC::Extended)) {
    r -= kCommon;
  } else if (ModeAdded(s, n, RC::Normal)) {
    r -= kCommon + kNormalExtras;
  } else if (ModeAdded(s, n, RC::Basic)) {
    r -= kCommon + kBasicExtras;
  } else {
    r = RederiveMode(r);
  }
  return r;
}
}  // namespace

void RC::SetOptions(OptionsSet value) {
  if (value == FExpressionOptions) return;
  ExpressionParsed = false;
  FExpressionOptions = ApplyOptionRules(value, FExpressionOptions);
}

std::uint32_t RC::GetFlagOptions() const {
  namespace sx = engine::syntax;
  static constexpr std::uint32_t kFlags[16] = {
      sx::EscapeInCharacterSets, sx::CharacterClasses, sx::Intervals, sx::LimitedOperations,
      sx::NewlineAsAlternation, sx::QuestionmarkPlusNotOperators, sx::BracesNotOperators,
      sx::ParenthesesNotOperators, sx::BackReferences, sx::VerticalbarNotOperator, sx::Literals,
      sx::CaseInsensitive, sx::NoLocaleSpecificCollation, sx::Basic, sx::Extended, sx::Normal};
  std::uint32_t word = 0;
  for (int n = 0; n < 16; ++n) {
    if (FExpressionOptions.Contains(static_cast<Options>(n))) word |= kFlags[n];
  }
  return word;
}

std::uint8_t RC::ConvertREXResult(unsigned int code) const { return static_cast<std::uint8_t>(code & 0xFF); }

std::uint8_t RC::ParseExpression() {
  if (ExpressionParsed) return ConvertREXResult(static_cast<unsigned>(CompiledExpression.status()));
  if (FExpression.empty()) return 1;
  const engine::TranslatedExpression translated = engine::TranslateExpression(GetFlagOptions(), FExpression);
  CompiledExpression.imbue(ExpressionLocale);
  const char* first = translated.pattern.data();
  CompiledExpression.assign(first, first + translated.pattern.size(), translated.flags | boost::regex::no_except);
  ExpressionParsed = true;
  return ConvertREXResult(static_cast<unsigned>(CompiledExpression.status()));
}

std::string RC::GetExpressionError() const {
  if (!ExpressionParsed || CompiledExpression.status() == 0) return {};
  const auto code = static_cast<boost::regex_constants::error_type>(CompiledExpression.status());
  return CompiledExpression.get_traits().error_string(code);
}

void RC::SetExpressionLocale(const std::locale& locale) { ExpressionLocale = locale; }

unsigned RC::NumberOfSubexpressions() const {
  if (!ExpressionParsed || CompiledExpression.status() != 0) return 0;
  return static_cast<unsigned>(CompiledExpression.mark_count()) + 1;
}

// ---------------------------------------------------------------------------
// Match options

void RC::SetMatches(MatchesSet value) {
  static const MatchesSet kRestricting{
      MatchNotBeginningOfLine, MatchNotEndOfLine, MatchNotBeginningOfBuffer, MatchNotEndOfBuffer,
      MatchNotBeginningOfWord, MatchNotEndOfWord, MatchNotDotNewline, MatchNotDotNullCharacter};
  const MatchesSet stored = FMatchOptions;
  MatchesSet r = value;
  if (value.Contains(MatchDefault) && !stored.Contains(MatchDefault)) {
    r -= kRestricting;
  } else if (!value.Contains(MatchDefault) && stored.Contains(MatchDefault)) {
    r += kRestricting;
  } else if (r.Contains(MatchDefault) && !(r * kRestricting).Empty()) {
    r >> MatchDefault;
  } else if (!r.Contains(MatchDefault) && (r * kRestricting).Empty()) {
    r << MatchDefault;
  }
  FMatchOptions = r;
}

std::uint32_t RC::GetMatchFlags() const {
  namespace mx = engine::match;
  static constexpr std::uint32_t kFlags[12] = {
      0, mx::NotBeginningOfLine, mx::NotEndOfLine, mx::NotBeginningOfBuffer, mx::NotEndOfBuffer,
      mx::NotBeginningOfWord, mx::NotEndOfWord, mx::NotDotNewline, mx::NotDotNullCharacter,
      mx::Shortest, mx::NotNullString, mx::Continuous};
  std::uint32_t word = 0;
  for (int n = 0; n < 12; ++n) {
    if (FMatchOptions.Contains(static_cast<Matches>(n))) word |= kFlags[n];
  }
  return word;
}

// ---------------------------------------------------------------------------
// Match, MatchAll and Search

bool RC::Match() { return RunOnce(MatchVariant::Anchored); }
bool RC::MatchAll() { return RunOnce(MatchVariant::Whole); }
bool RC::Search() { return RunOnce(MatchVariant::Anywhere); }

// Runs the search into the held results and makes sure that, whatever the
// outcome, they describe either this attempt's match or no match at all:
// a failed or aborted attempt never leaves an earlier match readable.
bool RC::SearchInto(reg_match& results, const char* begin, const char* end,
                    boost::regex_constants::match_flag_type flags) {
  bool found = false;
  try {
    found = boost::regex_search(begin, end, results, CompiledExpression, flags);
  } catch (...) {
    results = reg_match();
    throw;
  }
  if (!found && !results.empty() && results[0].matched) results = reg_match();
  return found;
}

bool RC::RunOnce(MatchVariant variant) {
  if (ParseExpression() != 0) return false;
  // The held results are overwritten in place, so a repeated call allocates
  // nothing; nobody keeps a reference to them between calls (handlers get
  // copies, see below). Results that point into another subject are dropped
  // before that subject can be released.
  if (!LastMatch) LastMatch = std::make_unique<HeldMatch>();
  if (LastMatch->Subject != FStringToMatch) {
    LastMatch->Results = reg_match();
    LastMatch->Subject = FStringToMatch;
  }
  auto flags = engine::ToBoostMatchFlags(GetMatchFlags());
  if (variant != MatchVariant::Anywhere) flags |= boost::regex_constants::match_continuous;
  const std::string& subject = *LastMatch->Subject;
  const char* begin = subject.data();
  const char* end = begin + subject.size();
  reg_match& results = LastMatch->Results;
  if (!SearchInto(results, begin, end, flags)) return false;
  if (variant == MatchVariant::Whole && results[0].second != end) return false;
  const MatchingEvent& event = variant == MatchVariant::Anywhere ? OnSearching : OnMatching;
  if (!event) return true;
  // The handler may run operations that replace LastMatch; everything it is
  // given is computed first, and nothing is read from LastMatch afterwards.
  const CPPStringArray parts = GetMatchingStrings();
  const auto [line, lineStart] = LineOf(begin, results[0].first);
  MatchingEvent handler = event;
  handler(this, parts, line, lineStart);
  return true;
}

CPPStringArray RC::GetMatchingStrings() const {
  const reg_match* source = CurrentGrepMatch;
  if (!source && LastMatch) source = &LastMatch->Results;
  // No source, or an attempt that found nothing: there is no text to give.
  if (!source || source->empty() || !(*source)[0].matched) return {};
  const std::size_t n = source->size();
  CPPStringArray parts;
  parts.reserve(n + 3);
  for (std::size_t i = 0; i < n; ++i) {
    const auto& sub = (*source)[static_cast<int>(i)];
    parts.emplace_back(sub.matched ? std::string(sub.first, sub.second) : std::string());
  }
  parts.emplace_back();
  const auto& prefix = source->prefix();
  const auto& suffix = source->suffix();
  parts.emplace_back(prefix.matched ? std::string(prefix.first, prefix.second) : std::string());
  parts.emplace_back(suffix.matched ? std::string(suffix.first, suffix.second) : std::string());
  return parts;
}

// ---------------------------------------------------------------------------
// Grep over the subject

void RC::GrepLineCounter::AdvanceTo(const char* position) {
  while (Scanned < position) {
    const void* lf = std::memchr(Scanned, '\n', static_cast<std::size_t>(position - Scanned));
    if (!lf) {
      Scanned = position;
      break;
    }
    Scanned = static_cast<const char*>(lf) + 1;
    ++Line;
    LineStart = Scanned;
  }
}

std::uint32_t RC::Grep() {
  // The run holds its own reference to the subject and to the compiled
  // expression, so a handler that sets StringToMatch or Expression and runs
  // other operations changes neither under the running grep.
  const SubjectText subject = FStringToMatch;
  if (subject->empty()) return 0;
  if (ParseExpression() != 0) return 0;
  const auto flags = engine::ToBoostMatchFlags(GetMatchFlags());
  const boost::regex expression = CompiledExpression;
  const char* begin = subject->data();
  GrepLineCounter lines{begin, begin, 1, begin};
  ScopedValue<GrepLineCounter*> activeLines(ActiveGrepLines, &lines);
  GrepPredicate = Closure<bool(const reg_match&)>(this, &RC::GrepCallbackPredicate);
  const auto predicate = GrepPredicate;
  const unsigned count = boost::regex_grep([&predicate](const reg_match& m) { return predicate(m); }, begin,
                                           begin + subject->size(), expression, flags);
  return static_cast<std::uint32_t>(count);
}

bool RC::GrepCallbackPredicate(const reg_match& match) {
  bool bcontinue = true;
  ScopedValue<const reg_match*> current(CurrentGrepMatch, &match);
  if (!OnGrepping) return bcontinue;
  const CPPStringArray parts = GetMatchingStrings();
  unsigned line = 1;
  unsigned lineStart = 0;
  if (GrepLineCounter* lines = ActiveGrepLines) {
    lines->AdvanceTo(match[0].first);
    line = lines->Line;
    lineStart = static_cast<unsigned>(lines->LineStart - lines->Begin);
  } else {
    // Called outside a run: lines are counted within the text the match
    // results cover.
    std::tie(line, lineStart) = LineOf(match.prefix().first, match[0].first);
  }
  GreppingEvent handler = OnGrepping;
  handler(this, parts, line, lineStart, bcontinue);
  return bcontinue;
}

// ---------------------------------------------------------------------------
// Grep and find over files

// `handled`: the walk's event has a handler. Without one, a walk with
// workers asks the engine only to count, since the workers would otherwise
// copy every match for a callback that returns at once.
template <class Callback>
std::uint32_t RC::RunFileWalk(bool handled, Callback walk) {
  if (FExpression.empty() || FFilesToMatch.empty()) return 0;
  RegEx engine;
  try {
    FileSubexpressionLimit = static_cast<std::int32_t>(
        engine.SetExpression(FExpression.c_str(), FExpressionOptions.Contains(CaseInsensitive)));
  } catch (const boost::regex_error&) {
    return 0;
  }
  const std::uint32_t flags = GetMatchFlags();
  const unsigned workers = FileSearchWorkers;
  engine.SetFileSearchWorkers(workers);
  const bool callback = handled || workers == 1;
  const std::string files = FFilesToMatch;
  TCriticalSectionGuard lock(CreateFileOperationLock());
  // A walk started from a handler of another walk hands CurrentPointer
  // back to the outer walk when it ends.
  ScopedValue<RegularExpressionCustom*> current(CurrentPointer, this);
  ScopedValue<std::int32_t> limit(WalkSubexpressionLimit, FileSubexpressionLimit);
  return walk(engine, files.c_str(), DirectoryRecursion, flags, callback);
}

std::uint32_t RC::GrepFiles() {
  return RunFileWalk(static_cast<bool>(OnGreppingFiles),
                     [](RegEx& engine, const char* files, bool recurse, std::uint32_t flags, bool callback) {
                       return engine.GrepFiles(callback ? &RC::GrepFilesCallback : nullptr, files, recurse, flags,
                                               &RC::FileErrorCallback);
                     });
}

std::uint32_t RC::FindFiles() {
  return RunFileWalk(static_cast<bool>(OnFindFiles),
                     [](RegEx& engine, const char* files, bool recurse, std::uint32_t flags, bool callback) {
                       return engine.FindFiles(callback ? &RC::FindFilesCallback : nullptr, files, recurse, flags,
                                               &RC::FileErrorCallback);
                     });
}

bool RC::GrepFilesCallback(const char* file, const RegEx& expression) {
  RegularExpressionCustom* c = CurrentPointer;
  if (!c || !c->OnGreppingFiles) return true;
  CPPStringArray parts;
  CPPUnsignedArray positions;
  for (std::int32_t i = 0; i <= c->WalkSubexpressionLimit; ++i) {
    positions.push_back(expression.Position(i));
    parts.push_back(expression.What(i));
  }
  bool bcontinue = true;
  GreppingFilesEvent handler = c->OnGreppingFiles;
  handler(c, AnsiString(file), parts, positions, bcontinue);
  return bcontinue;
}

bool RC::FindFilesCallback(const char* file) {
  RegularExpressionCustom* c = CurrentPointer;
  if (!c || !c->OnFindFiles) return true;
  bool bcontinue = true;
  FindFilesEvent handler = c->OnFindFiles;
  handler(c, AnsiString(file), bcontinue);
  return bcontinue;
}

void RC::FileErrorCallback(const char* file, int error) {
  RegularExpressionCustom* c = CurrentPointer;
  if (!c || !c->OnFileError) return;
  FileErrorEvent handler = c->OnFileError;
  handler(c, AnsiString(file), error);
}

// ---------------------------------------------------------------------------
// Format and merge

void RC::Format(std::string& out) const {
  out.clear();
  if (FFormatString.empty()) return;
  const reg_match* source = CurrentGrepMatch;
  if (!source && LastMatch) source = &LastMatch->Results;
  if (!source) return;
  std::string text;
  engine::ExpandFormat(FFormatString, *source, text);
  out = std::move(text);
}

void RC::Merge(std::string& out) {
  out.clear();
  if (FFormatString.empty()) return;
  const SubjectText subject = FStringToMatch;
  if (subject->empty()) return;
  if (ParseExpression() != 0) return;
  const auto flags = engine::ToBoostMatchFlags(GetMatchFlags());
  const char* begin = subject->data();
  // Written straight into `out`, so a caller that merges repeatedly into the
  // same string reuses its capacity instead of paying for a fresh buffer of
  // the subject's size each time. On an exception `out` is left empty, as if
  // nothing had been produced.
  try {
    engine::MergeAll(CompiledExpression, begin, begin + subject->size(), FFormatString, MergeCopy, flags, out);
  } catch (...) {
    out.clear();
    throw;
  }
}

// ---------------------------------------------------------------------------
// Class metadata

template <>
const TSetTypeInfo& TSetTypeInfoOf<RC::Options>() {
  static const TSetTypeInfo info{
      "Options",
      {"EscapeInCharacterSets", "CharacterClasses", "Intervals", "LimitedOperations",
       "NewlineAsAlternationOperator", "QuestionmarkPlusNotOperators", "BracesNotOperators",
       "ParenthesesNotOperators", "BackReferences", "VerticalbarNotOperator", "Literals", "CaseInsensitive",
       "NoLocaleSpecificCollation", "Basic", "Extended", "Normal"}};
  return info;
}

template <>
const TSetTypeInfo& TSetTypeInfoOf<RC::Matches>() {
  static const TSetTypeInfo info{
      "Matches",
      {"MatchDefault", "MatchNotBeginningOfLine", "MatchNotEndOfLine", "MatchNotBeginningOfBuffer",
       "MatchNotEndOfBuffer", "MatchNotBeginningOfWord", "MatchNotEndOfWord", "MatchNotDotNewline",
       "MatchNotDotNullCharacter", "MatchShortest", "MatchNotNullString", "MatchContinuous"}};
  return info;
}

namespace {

TPropInfo TextProperty(const char* name, AnsiString (RC::*get)() const, void (RC::*set)(AnsiString)) {
  return MakePropInfo<RC, AnsiString>(
      name, "AnsiString", std::string("Get") + name, std::string("Set") + name,
      [get](const RC& c) { return (c.*get)(); }, [set](RC& c, const AnsiString& v) { (c.*set)(v); },
      AnsiString());
}

template <class E>
TPropInfo EventProperty(const char* name, const char* type, E RC::*field) {
  return MakePropInfo<RC, E>(
      name, type, name, name, [field](const RC& c) { return c.*field; },
      [field](RC& c, const E& v) { c.*field = v; }, TMethod());
}

TPropInfo BoolProperty(const char* name, bool RC::*field) {
  return MakePropInfo<RC, bool>(
      name, "bool", name, name, [field](const RC& c) { return c.*field; },
      [field](RC& c, const bool& v) { c.*field = v; }, false);
}

}  // namespace

const TPropList& RC::DeclaredProperties() {
  static const TPropList list = [] {
    TPropList l;
    // SetMatches and SetOptions adjust a set relative to the one stored, so
    // they cannot restore every saved set; loading stores it as saved.
    l.push_back(MakePropInfo<RC, MatchesSet>(
        "MatchOptions", "Matches", "FMatchOptions", "SetMatches",
        [](const RC& c) { return c.FMatchOptions; }, [](RC& c, const MatchesSet& v) { c.SetMatches(v); },
        TSetValue{}));
    SetLoadWriter<RC, MatchesSet>(l.back(), [](RC& c, const MatchesSet& v) { c.FMatchOptions = v; });
    l.push_back(MakePropInfo<RC, OptionsSet>(
        "ExpressionOptions", "Options", "FExpressionOptions", "SetOptions",
        [](const RC& c) { return c.FExpressionOptions; }, [](RC& c, const OptionsSet& v) { c.SetOptions(v); },
        TSetValue{}));
    SetLoadWriter<RC, OptionsSet>(l.back(), [](RC& c, const OptionsSet& v) {
      c.FExpressionOptions = v;
      c.ExpressionParsed = false;
    });
    l.push_back(TextProperty("Expression", &RC::GetExpression, &RC::SetExpression));
    l.push_back(TextProperty("FormatString", &RC::GetFormatString, &RC::SetFormatString));
    l.push_back(BoolProperty("DirectoryRecursion", &RC::DirectoryRecursion));
    l.push_back(BoolProperty("MergeCopy", &RC::MergeCopy));
    l.push_back(TextProperty("StringToMatch", &RC::GetStringToMatch, &RC::SetStringToMatch));
    l.push_back(TextProperty("FilesToMatch", &RC::GetFilesToMatch, &RC::SetFilesToMatch));
    l.push_back(EventProperty("OnMatching", "MatchingEvent", &RC::OnMatching));
    l.push_back(EventProperty("OnSearching", "MatchingEvent", &RC::OnSearching));
    l.push_back(EventProperty("OnGrepping", "GreppingEvent", &RC::OnGrepping));
    l.push_back(EventProperty("OnGreppingFiles", "GreppingFilesEvent", &RC::OnGreppingFiles));
    l.push_back(EventProperty("OnFindFiles", "FindFilesEvent", &RC::OnFindFiles));
    return l;
  }();
  return list;
}

TComponentClass RC::StaticClass() {
  static const TMetaClass meta("RegularExpressionCustom", TComponent::StaticClass(),
                               &CreateComponent<RegularExpressionCustom>,
                               SelectProperties(TComponent::StaticClass()->PublishedProperties(), {"Name", "Tag"}));
  return &meta;
}

namespace Regularexpressioncustom {
namespace {
int initializationCount = 0;
}
void Initialization() { ++initializationCount; }
void Finalization() { --initializationCount; }
int InitializationCount() { return initializationCount; }
}  // namespace Regularexpressioncustom

}  // namespace RegexComponent
