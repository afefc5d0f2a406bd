#include "engine/prefilter/LiteralAnalysis.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>

#include "engine/prefilter/AtomBytes.h"
#include "engine/prefilter/LiteralRequirements.h"
#include "engine/prefilter/LiteralScanner.h"

namespace RegexComponent::engine {

namespace {

namespace bc = boost::regex_constants;

using requirements::Alternate;
using requirements::Info;
using requirements::LiteralFactor;
using requirements::Locates;
using requirements::SatAdd;
using requirements::SatMul;
using requirements::SequenceBuilder;

// Copies of a repeated atom a literal takes in at most.
constexpr std::size_t kMaxRunCopies = 8;
// Repeat bounds above this are refused rather than reasoned about.
constexpr std::size_t kMaxRepeat = std::size_t{1} << 24;

// Syntax options each analysed grammar may carry: none of them changes how
// the text is read beyond what the byte sets taken from Boost capture.
constexpr bc::syntax_option_type kCommonOptions =
    bc::icase | bc::nosubs | bc::optimize | bc::collate | bc::no_except | bc::save_subexpression_location;
constexpr bc::syntax_option_type kPerlOptions = kCommonOptions | boost::regbase::newline_alt | bc::mod_s |
                                                bc::no_mod_s | boost::regbase::no_bk_refs |
                                                bc::no_empty_expressions;
const bc::match_flag_type kRefusedMatchFlags =
    bc::match_continuous | bc::match_partial | bc::match_prev_avail | bc::match_extra;

struct Repeat {
  std::size_t min = 1;
  std::size_t max = 1;
};

// One atom as parsed: an assertion, a single-character atom or a group.
struct Atom {
  enum class Kind { kAssertion, kByte, kGroup } kind;
  ByteSet set;
  Info group;
};

bool IsAsciiPunct(char c) { return c > ' ' && c < 0x7f && !std::isalnum(static_cast<unsigned char>(c)); }

// Escapes read as one character class or control character.
bool IsClassEscape(char d) { return std::string_view("dDwWsStnrfae").find(d) != std::string_view::npos; }

// Recursive-descent reader of the perl grammar's common subset.
class PerlReader {
 public:
  PerlReader(std::string_view text, AtomBytes& bytes, bool newlineAlt)
      : text_(text), bytes_(bytes), newlineAlt_(newlineAlt) {}

  std::optional<Info> Run() {
    std::optional<Info> info = Alternation();
    if (!info || pos_ != text_.size()) return std::nullopt;
    return info;
  }
  // Whether the text holds ^ or $, and a lazy repeat (valid after Run).
  bool Anchored() const { return anchored_; }
  bool Lazy() const { return lazy_; }

 private:
  bool AtEnd() const { return pos_ >= text_.size(); }
  bool At(char c) const { return !AtEnd() && text_[pos_] == c; }
  bool AtBar() const { return At('|') || (newlineAlt_ && At('\n')); }

  std::optional<Info> Alternation() {
    std::vector<Info> branches;
    for (;;) {
      std::optional<Info> branch = Sequence();
      if (!branch) return std::nullopt;
      branches.push_back(std::move(*branch));
      if (!AtBar()) return Alternate(branches);
      ++pos_;
    }
  }

  std::optional<Info> Sequence() {
    SequenceBuilder seq;
    while (!AtEnd() && !AtBar() && !At(')')) {
      std::optional<Atom> atom = ReadAtom();
      if (!atom) return std::nullopt;
      const std::optional<Repeat> repeat = ReadRepeat();
      if (!repeat) return std::nullopt;
      const bool repeated = repeat->min != 1 || repeat->max != 1;
      if (atom->kind == Atom::Kind::kAssertion) {
        if (repeated) return std::nullopt;
      } else if (atom->kind == Atom::Kind::kByte) {
        AddByte(seq, atom->set, *repeat);
      } else {
        AddGroup(seq, atom->group, *repeat);
      }
    }
    return seq.Finish();
  }

  // The copies a repeated atom must have still extend the run (up to
  // kMaxRunCopies of them); the run ends after them unless the count is
  // fixed.
  static void AddByte(SequenceBuilder& seq, const ByteSet& set, Repeat repeat) {
    const bool fixed = repeat.min == repeat.max && repeat.min <= kMaxRunCopies;
    seq.AddShape(repeat.min != repeat.max ? 1 : 0, false);
    for (std::size_t i = 0; i < std::min(repeat.min, kMaxRunCopies); ++i) seq.Extend(set);
    if (!fixed) seq.CloseRun();
    seq.Append(repeat.min, repeat.max, repeat.max > 0 && set.test('\n'));
    // The last copy lies just before what follows: a new run starts there.
    if (!fixed && repeat.min >= 1) seq.ExtendWithLast(set);
  }

  static void AddGroup(SequenceBuilder& seq, const Info& group, Repeat repeat) {
    seq.CloseRun();
    const std::size_t inner = repeat.max > 1 ? SatMul(group.variables, 2) : group.variables;
    seq.AddShape(SatAdd(inner, repeat.min != repeat.max ? 1 : 0), group.alternation);
    if (repeat.min >= 1 && group.factor) seq.Offer(*group.factor);
    const std::size_t maxLength = repeat.max == 0 ? 0 : SatMul(group.maxLength, repeat.max);
    seq.Append(SatMul(group.minLength, repeat.min), maxLength, repeat.max > 0 && group.newline);
  }

  std::optional<Atom> ReadAtom() {
    const char c = text_[pos_];
    switch (c) {
      case '(': return Group();
      case '^': case '$': ++pos_; anchored_ = true; return Atom{Atom::Kind::kAssertion, {}, {}};
      case '.': ++pos_; return ByteAtom(bytes_.Of("."));
      case '[': return Set();
      case '\\': return Escape();
      case '*': case '+': case '?': case '{': return std::nullopt;
      default: ++pos_; return Atom{Atom::Kind::kByte, bytes_.Char(static_cast<unsigned char>(c)), {}};
    }
  }

  static std::optional<Atom> ByteAtom(std::optional<ByteSet> set) {
    if (!set) return std::nullopt;
    return Atom{Atom::Kind::kByte, *set, {}};
  }

  // Capturing and (?:...) groups; every other (? and (* form is refused.
  std::optional<Atom> Group() {
    ++pos_;
    if (At('*')) return std::nullopt;
    if (At('?')) {
      if (pos_ + 1 >= text_.size() || text_[pos_ + 1] != ':') return std::nullopt;
      pos_ += 2;
    }
    std::optional<Info> inner = Alternation();
    if (!inner || !At(')')) return std::nullopt;
    ++pos_;
    return Atom{Atom::Kind::kGroup, {}, std::move(*inner)};
  }

  std::optional<Atom> Escape() {
    if (pos_ + 1 >= text_.size()) return std::nullopt;
    const char d = text_[pos_ + 1];
    const std::string_view atom = text_.substr(pos_, 2);
    pos_ += 2;
    if (d == 'b' || d == 'B' || d == '<' || d == '>') return Atom{Atom::Kind::kAssertion, {}, {}};
    // \` and \' are the buffer anchors.
    if (d == '`' || d == '\'') return std::nullopt;
    if (IsClassEscape(d) || IsAsciiPunct(d)) return ByteAtom(bytes_.Of(atom));
    return std::nullopt;
  }

  // A bracket expression, delimited as the perl grammar delimits it (']'
  // first is literal, a backslash escapes); collating elements, equivalence
  // classes and escapes outside the known set are refused.
  std::optional<Atom> Set() {
    const std::size_t start = pos_;
    std::size_t i = pos_ + 1;
    if (i < text_.size() && text_[i] == '^') ++i;
    const std::size_t first = i;
    for (;;) {
      if (i >= text_.size()) return std::nullopt;
      const char c = text_[i];
      const char next = i + 1 < text_.size() ? text_[i + 1] : '\0';
      if (c == ']' && i != first) break;
      if (c == '[' && (next == '.' || next == '=')) return std::nullopt;
      if (c == '[' && next == ':') {
        const std::size_t close = text_.find(":]", i + 2);
        if (close == std::string_view::npos) return std::nullopt;
        i = close + 2;
      } else if (c == '\\') {
        if (!IsClassEscape(next) && !IsAsciiPunct(next)) return std::nullopt;
        i += 2;
      } else {
        ++i;
      }
    }
    pos_ = i + 1;
    return ByteAtom(bytes_.Of(text_.substr(start, pos_ - start)));
  }

  // *, +, ?, {n}, {n,}, {n,m}, each optionally lazy; possessive and
  // stacked repeats are refused.
  std::optional<Repeat> ReadRepeat() {
    Repeat r;
    if (At('*')) {
      r = {0, kUnbounded};
    } else if (At('+')) {
      r = {1, kUnbounded};
    } else if (At('?')) {
      r = {0, 1};
    } else if (At('{')) {
      return Interval();
    } else {
      return r;
    }
    ++pos_;
    return Lazy(r);
  }

  std::optional<Repeat> Interval() {
    ++pos_;
    const std::optional<std::size_t> min = Number();
    if (!min) return std::nullopt;
    std::optional<std::size_t> max = min;
    if (At(',')) {
      ++pos_;
      max = At('}') ? std::optional<std::size_t>(kUnbounded) : Number();
    }
    if (!max || !At('}') || *max < *min) return std::nullopt;
    ++pos_;
    return Lazy(Repeat{*min, *max});
  }

  std::optional<std::size_t> Number() {
    std::size_t value = 0;
    const std::size_t start = pos_;
    while (!AtEnd() && std::isdigit(static_cast<unsigned char>(text_[pos_]))) {
      value = value * 10 + static_cast<std::size_t>(text_[pos_] - '0');
      if (value > kMaxRepeat) return std::nullopt;
      ++pos_;
    }
    if (pos_ == start) return std::nullopt;
    return value;
  }

  std::optional<Repeat> Lazy(Repeat r) {
    if (At('?')) {
      ++pos_;
      lazy_ = true;
    }
    if (At('*') || At('+') || At('?') || At('{')) return std::nullopt;
    return r;
  }

  std::string_view text_;
  AtomBytes& bytes_;
  bool newlineAlt_;
  std::size_t pos_ = 0;
  bool anchored_ = false;
  bool lazy_ = false;
};

// The literal grammar: the text is the one literal.
std::optional<Info> ReadLiteralText(std::string_view text, AtomBytes& bytes) {
  Literal literal;
  for (const char c : text) literal.push_back(bytes.Char(static_cast<unsigned char>(c)));
  Info info;
  info.minLength = info.maxLength = text.size();
  info.newline = text.find('\n') != std::string_view::npos;
  if (!text.empty()) info.factor = LiteralFactor(std::move(literal));
  return info;
}

// What the reading found beyond Info: whether the text holds ^ or $, and a
// lazy repeat.
struct Marks {
  bool anchored = false;
  bool lazy = false;
};

// The expression read in its grammar.
std::optional<Info> Read(std::string_view pattern, bc::syntax_option_type syntax, AtomBytes& bytes,
                         Marks& marks) {
  marks = Marks();
  const bc::syntax_option_type grammar = syntax & (boost::regbase::main_option_type | boost::regbase::no_perl_ex);
  if (grammar == bc::literal && !(syntax & ~(kCommonOptions | bc::literal))) return ReadLiteralText(pattern, bytes);
  if (grammar != bc::perl || (syntax & ~kPerlOptions)) return std::nullopt;
  PerlReader reader(pattern, bytes, (syntax & boost::regbase::newline_alt) != 0);
  std::optional<Info> info = reader.Run();
  marks.anchored = reader.Anchored();
  marks.lazy = reader.Lazy();
  return info;
}

}  // namespace

LiteralAnalysis AnalyzeLiterals(std::string_view pattern, bc::syntax_option_type syntax, bc::match_flag_type match,
                                const std::locale& locale) {
  LiteralAnalysis result;
  if (match & kRefusedMatchFlags) return result;
  AtomBytes bytes(syntax, match, locale);
  Marks marks;
  std::optional<Info> info = Read(pattern, syntax, bytes, marks);
  if (!info || info->minLength == 0 || !info->factor || !Locates(*info->factor)) return result;
  // Literals looked for by trying every start would be slower than Boost.
  if (!LiteralScanner::Covers(info->factor->literals)) return result;
  result.usable = true;
  result.literals = std::move(info->factor->literals);
  result.reach = info->factor->reach;
  result.reachWithinLine = info->factor->lineSafe;
  result.maxLength = info->maxLength;
  result.matchesNewline = info->newline;
  return result;
}

bool StaysWithinLine(std::string_view pattern, bc::syntax_option_type syntax, bc::match_flag_type match,
                     const std::locale& locale) {
  if (match & kRefusedMatchFlags) return false;
  AtomBytes bytes(syntax, match, locale);
  Marks marks;
  const std::optional<Info> info = Read(pattern, syntax, bytes, marks);
  return info && !marks.anchored && info->minLength > 0 && !info->newline;
}

bool FirstMatchIsLongest(std::string_view pattern, bc::syntax_option_type syntax, const std::locale& locale) {
  AtomBytes bytes(syntax, bc::match_default, locale);
  Marks marks;
  const std::optional<Info> info = Read(pattern, syntax, bytes, marks);
  return info && !marks.lazy && !info->alternation && info->variables <= 1;
}

}  // namespace RegexComponent::engine
