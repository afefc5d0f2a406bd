// RegularExpressionCustom: the two option sets (their setters and flag
// words) and the lazy compilation of the expression they feed. The rules
// the setters apply are in engine/OptionRules, the members' flag values in
// engine/expression/OptionMembers.h.
#include "RegexComponent/RegularExpressionCustom.h"

#include "components/ComponentState.h"
#include "engine/match/MatchGuard.h"
#include "engine/expression/OptionMembers.h"
#include "engine/expression/OptionRules.h"
#include "engine/expression/SyntaxTranslator.h"

namespace RegexComponent {

using RC = RegularExpressionCustom;

// ---------------------------------------------------------------------------
// Expression options and compilation

void RC::SetOptions(OptionsSet value) {
  if (value == FExpressionOptions) return;
  State->ExpressionParsed = false;
  FExpressionOptions = engine::ApplyOptionRules(value, FExpressionOptions);
}

std::uint32_t RC::GetFlagOptions() const { return engine::FlagWordOf(FExpressionOptions); }

std::uint8_t RC::ConvertREXResult(unsigned int code) const { return static_cast<std::uint8_t>(code & 0xFF); }

std::uint8_t RC::ParseExpression() {
  detail::ComponentState& s = *State;
  if (s.ExpressionParsed) return ConvertREXResult(static_cast<unsigned>(s.CompiledExpression.status()));
  if (s.Expression.empty()) return 1;
  const engine::TranslatedExpression translated = engine::TranslateExpression(GetFlagOptions(), s.Expression);
  s.CompiledExpression.imbue(s.ExpressionLocale);
  const char* first = translated.pattern.data();
  s.CompiledExpression.assign(first, first + translated.pattern.size(), translated.flags | boost::regex::no_except);
  s.CompiledFacts = engine::MatchGuard::Study(s.CompiledExpression);
  s.ExpressionParsed = true;
  return ConvertREXResult(static_cast<unsigned>(s.CompiledExpression.status()));
}

std::string RC::GetExpressionError() const {
  const boost::regex& compiled = State->CompiledExpression;
  if (!State->ExpressionParsed || compiled.status() == 0) return {};
  const auto code = static_cast<boost::regex_constants::error_type>(compiled.status());
  return compiled.get_traits().error_string(code);
}

void RC::SetExpressionLocale(const std::locale& locale) { State->ExpressionLocale = locale; }

unsigned RC::NumberOfSubexpressions() const {
  const boost::regex& compiled = State->CompiledExpression;
  if (!State->ExpressionParsed || compiled.status() != 0) return 0;
  return static_cast<unsigned>(compiled.mark_count()) + 1;
}

// ---------------------------------------------------------------------------
// Match options

void RC::SetMatches(MatchesSet value) { FMatchOptions = engine::ApplyMatchRules(value, FMatchOptions); }

std::uint32_t RC::GetMatchFlags() const { return engine::MatchWordOf(FMatchOptions); }

}  // namespace RegexComponent
