#include "engine/expression/SyntaxTranslator.h"

#include <algorithm>
#include <utility>

#include "engine/expression/FlagWords.h"
#include "engine/expression/LiteralQuoting.h"
#include "engine/expression/OptionMembers.h"

namespace RegexComponent::engine {

namespace {

namespace bc = boost::regex_constants;

enum class Grammar { Basic, Extended, Perl };

// Which spelling of an operator character stands for the operator; the
// other spelling is then the literal character. None: both are literal.
enum class Spelling { Plain, Escaped, None };

// Characters whose operator spelling the word decides, grouped by member.
enum Family { kParens, kBraces, kRepeats, kBar, kFamilyCount };

struct Rules {
  Grammar grammar;
  Spelling source[kFamilyCount];
  bool escapeInSets;
  bool charClasses;
  bool backReferences;
};

// The bits that set Basic and Normal apart from Extended.
constexpr std::uint32_t kBasicOwn = FlagWordOf(BasicExtras());
constexpr std::uint32_t kNormalOwn = FlagWordOf(NormalExtras());

bool Has(std::uint32_t word, std::uint32_t bits) { return (word & bits) == bits; }

Grammar ChooseGrammar(std::uint32_t word) {
  if (Has(word, kBasicOwn)) return Grammar::Basic;
  if (Has(word, kNormalOwn)) return Grammar::Perl;
  return Grammar::Extended;
}

// The plain operator characters are literal under LimitedOperations unless
// the member for their escaped spelling moves the operator there.
Spelling SpellingOf(bool escapedOnly, bool limited) {
  if (escapedOnly) return Spelling::Escaped;
  return limited ? Spelling::None : Spelling::Plain;
}

Rules MakeRules(std::uint32_t word) {
  const bool limited = Has(word, syntax::LimitedOperations);
  Rules rules{};
  rules.grammar = ChooseGrammar(word);
  rules.source[kParens] = SpellingOf(Has(word, syntax::ParenthesesNotOperators), false);
  rules.source[kBraces] = Has(word, syntax::Intervals)
                              ? SpellingOf(Has(word, syntax::BracesNotOperators), false)
                              : Spelling::None;
  rules.source[kRepeats] = SpellingOf(Has(word, syntax::QuestionmarkPlusNotOperators), limited);
  rules.source[kBar] = SpellingOf(Has(word, syntax::VerticalbarNotOperator), limited);
  rules.escapeInSets = Has(word, syntax::EscapeInCharacterSets);
  rules.charClasses = Has(word, syntax::CharacterClasses);
  rules.backReferences = Has(word, syntax::BackReferences);
  return rules;
}

// Boost options of the grammar plus those members Boost has an option for
// in it (the members' Boost meanings in the member table); the members it
// lacks an option for are rewritten in the text. A word with Literals is
// translated by TranslateLiteral and never reaches here.
bc::syntax_option_type GrammarFlags(Grammar grammar, std::uint32_t word) {
  bc::syntax_option_type flags = 0;
  if (grammar == Grammar::Basic) flags = boost::regbase::basic_syntax_group;
  if (grammar == Grammar::Extended) flags = boost::regbase::no_perl_ex;
  for (const OptionMember& row : kOptionMembers) {
    if (row.bit == 0 || (row.boost.basicGrammarOnly && grammar != Grammar::Basic)) continue;
    flags |= Has(word, row.bit) ? row.boost.whenPresent : row.boost.whenAbsent;
  }
  return flags;
}

int FamilyOf(char c) {
  switch (c) {
    case '(': case ')': return kParens;
    case '{': case '}': return kBraces;
    case '+': case '?': return kRepeats;
    case '|': return kBar;
    default: return -1;
  }
}

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// One pass over the expression, copying it to the output and respelling
// what the target grammar reads differently from what the word means.
class Rewriter {
 public:
  Rewriter(const Rules& rules, std::string_view text) : rules_(rules), text_(text) {
    out_.reserve(text.size() + 8);
  }

  std::string Run() {
    while (!AtEnd(pos_)) Token(std::exchange(afterGroupOpen_, false));
    return std::move(out_);
  }

 private:
  bool AtEnd(std::size_t at) const { return at >= text_.size(); }
  bool At(std::size_t at, char c) const { return !AtEnd(at) && text_[at] == c; }

  void Copy(std::size_t count) {
    count = std::min(count, text_.size() - pos_);
    out_.append(text_.substr(pos_, count));
    pos_ += count;
  }
  void CopyRest() { Copy(text_.size() - pos_); }

  void Token(bool groupOpen) {
    const char c = text_[pos_];
    if (c == '[') return BracketExpression();
    if (c == '\\') return Escape(groupOpen);
    if (c == '?' && groupOpen && rules_.grammar == Grammar::Perl) return PerlGroupHead();
    const int family = FamilyOf(c);
    if (family < 0) return Copy(1);
    ++pos_;
    OperatorChar(c, family, false, groupOpen);
  }

  // `family` is FamilyOf(c), which the callers have checked is an operator's.
  void OperatorChar(char c, int family, bool escaped, bool groupOpen) {
    const Spelling source = rules_.source[family];
    const bool isOperator = source == (escaped ? Spelling::Escaped : Spelling::Plain);
    // "(?" would start a perl extension instead of failing as a repeat of
    // nothing, so that repeat is spelled in a form perl also rejects.
    if (isOperator && escaped && c == '?' && groupOpen && rules_.grammar == Grammar::Perl) {
      out_ += "{0,1}";
      return;
    }
    const bool targetEscaped = rules_.grammar == Grammar::Basic;
    if (isOperator == targetEscaped) out_ += '\\';
    out_ += c;
    afterGroupOpen_ = isOperator && c == '(';
  }

  void Escape(bool groupOpen) {
    if (AtEnd(pos_ + 1)) return Copy(1);  // a trailing backslash stays an error
    const char d = text_[pos_ + 1];
    if (const int family = FamilyOf(d); family >= 0) {
      pos_ += 2;
      return OperatorChar(d, family, true, groupOpen);
    }
    if (d >= '1' && d <= '9' && !rules_.backReferences) {
      // A one-character set cannot merge with what follows (as "{" "1" "}"
      // would), so the text keeps its structure.
      out_ += {'[', d, ']'};
      pos_ += 2;
      return;
    }
    if (rules_.grammar != Grammar::Basic) {
      if (d == 'Q') return Quoted();
      if (TakesBracedArgument(d) && At(pos_ + 2, '{')) return BracedArgument();
      if (d == 'c') return Copy(3);  // \c takes the next character whatever it is
    }
    Copy(2);
  }

  bool TakesBracedArgument(char d) const {
    if (d == 'x' || d == 'p' || d == 'P' || d == 'N') return true;
    return (d == 'g' || d == 'k') && rules_.grammar == Grammar::Perl;
  }

  // \Q...\E: everything up to \E is literal, so nothing inside is respelled.
  // The scan follows Boost's: a backslash only ends it when followed by E.
  void Quoted() {
    const std::size_t start = pos_;
    std::size_t at = pos_ + 2;
    while (!AtEnd(at)) {
      if (text_[at] != '\\') {
        ++at;
      } else if (At(at + 1, 'E')) {
        at += 2;
        break;
      } else {
        ++at;
      }
    }
    pos_ = start;
    Copy(at - start);
  }

  void BracedArgument() {
    const std::size_t close = text_.find('}', pos_ + 3);
    if (close == std::string_view::npos) return CopyRest();
    Copy(close + 1 - pos_);
  }

  // Called at the '?' of "(?" in the perl grammar: the character is part of
  // the group's syntax, not a repeat operator.
  void PerlGroupHead() {
    Copy(1);
    // Branch reset "(?|" and relative recursion "(?+1)".
    if (At(pos_, '|') || At(pos_, '+')) return Copy(1);
    if (At(pos_, '#')) Comment();
  }

  // A comment ends at the word's spelling of ')'; its text is dropped so
  // that a ')' inside it cannot end it early after respelling.
  void Comment() {
    const bool escaped = rules_.source[kParens] == Spelling::Escaped;
    const std::string_view close = escaped ? std::string_view("\\)") : std::string_view(")");
    const std::size_t end = text_.find(close, pos_);
    out_ += '#';
    if (end == std::string_view::npos) {
      pos_ = text_.size();  // Boost lets an open comment run to the end
      return;
    }
    out_ += ')';
    pos_ = end + close.size();
  }

  // A bracket expression, delimited exactly as Boost delimits it: ']' first
  // is literal, [:x:] [=x=] [.x.] are items, and a backslash escapes only
  // when EscapeInCharacterSets is present.
  void BracketExpression() {
    Copy(1);
    if (At(pos_, '^')) Copy(1);
    const std::size_t itemBase = pos_;
    while (!AtEnd(pos_)) {
      const char c = text_[pos_];
      if (c == ']' && pos_ != itemBase) return Copy(1);
      const bool named = c == '[' && (At(pos_ + 1, '=') || (At(pos_ + 1, ':') && rules_.charClasses));
      if (named) {
        NamedElement();
      } else {
        SetItem();
      }
    }
  }

  // "[" delimiter name delimiter "]", the name at least one character long.
  // A malformed one fails in Boost whatever follows, so the rest is copied.
  void NamedElement() {
    const char delimiter = text_[pos_ + 1];
    std::size_t close = pos_ + 3;
    while (!AtEnd(close) && text_[close] != delimiter) ++close;
    if (!At(close + 1, ']')) return CopyRest();
    Copy(close + 2 - pos_);
  }

  void SetItem() {
    SetLiteral();
    if (At(pos_, '-') && !AtEnd(pos_ + 1) && text_[pos_ + 1] != ']') {
      Copy(1);
      SetLiteral();
    }
  }

  void SetLiteral() {
    const char c = text_[pos_];
    if (c == '[' && At(pos_ + 1, '.')) return NamedElement();
    if (c == '\\') return SetEscape();
    // Without CharacterClasses "[:" is a literal '['; only the basic
    // grammar has an option for that, elsewhere it becomes a collating
    // element.
    if (c == '[' && At(pos_ + 1, ':') && !rules_.charClasses && rules_.grammar != Grammar::Basic) {
      out_ += "[.[.]";
      ++pos_;
      return;
    }
    Copy(1);
  }

  void SetEscape() {
    if (rules_.escapeInSets) return Copy(At(pos_ + 1, 'c') ? 3 : 2);
    // Boost's no_escape_in_lists still reads \d \w \s... as classes, so
    // a backslash before a letter is written as a collating element.
    if (!AtEnd(pos_ + 1) && IsAsciiLetter(text_[pos_ + 1])) {
      out_ += "[.\\.]";
      ++pos_;
      return;
    }
    Copy(1);
  }

  Rules rules_;
  std::string_view text_;
  std::size_t pos_ = 0;
  std::string out_;
  bool afterGroupOpen_ = false;
};

// Literals with NewlineAsAlternation: each line a literal alternative.
// Quoting leaves line feeds alone, so each one becomes a '|'.
std::string QuoteLines(std::string_view text) {
  std::string out = QuoteForPerl(text);
  std::replace(out.begin(), out.end(), '\n', '|');
  return out;
}

TranslatedExpression TranslateLiteral(std::uint32_t word, std::string_view expression) {
  const bc::syntax_option_type icase = Has(word, syntax::CaseInsensitive) ? bc::icase : 0;
  if (Has(word, syntax::NewlineAsAlternation)) return {QuoteLines(expression), bc::perl | icase};
  return {std::string(expression), bc::literal | icase};
}

}  // namespace

TranslatedExpression TranslateExpression(std::uint32_t flagWord, std::string_view expression) {
  if (Has(flagWord, syntax::Literals)) return TranslateLiteral(flagWord, expression);
  const Rules rules = MakeRules(flagWord);
  return {Rewriter(rules, expression).Run(), GrammarFlags(rules.grammar, flagWord)};
}

}  // namespace RegexComponent::engine
