#include <cstdio>
#include <string>

#include "Commands.h"
#include "ToolError.h"

namespace RegexComponent::tool {

namespace {

template <class SetType>
std::string MemberNames(SetType set) {
  const TSetTypeInfo& info = TSetTypeInfoOf<typename SetType::Member>();
  std::string names;
  for (int n = SetType::FirstOrdinal; n <= SetType::LastOrdinal; ++n) {
    if (!set.Contains(static_cast<typename SetType::Member>(n))) continue;
    if (!names.empty()) names += ' ';
    names += info.MemberNames.at(static_cast<std::size_t>(n));
  }
  return names;
}

void PrintHex(const char* name, std::uint32_t word) { std::printf("%s: 0x%08X\n", name, word); }

}  // namespace

// The compile error is part of the report; the exit status still says the
// expression is unusable, as every other command would.
int ShowInfo(RegularExpressionCustom& re) {
  const std::string expression = re.Expression.Get().ToStdString();
  const bool valid = !expression.empty() && re.ParseExpression() == 0;
  std::fputs("expression: ", stdout);
  WriteLine(expression);
  std::printf("sub-expressions: %u\n", re.NumberOfSubexpressions());
  PrintHex("syntax flags", re.GetFlagOptions());
  PrintHex("match flags", re.GetMatchFlags());
  std::printf("options: %s\n", MemberNames(RE::OptionsSet(re.ExpressionOptions)).c_str());
  std::printf("match options: %s\n", MemberNames(RE::MatchesSet(re.MatchOptions)).c_str());
  if (valid) return kFound;
  const std::string error = expression.empty() ? "empty expression" : re.GetExpressionError();
  std::printf("error: %s\n", error.c_str());
  return kTrouble;
}

}  // namespace RegexComponent::tool
