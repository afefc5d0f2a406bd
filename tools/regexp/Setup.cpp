#include "Setup.h"

#include <RegexComponent/RegularExpression.h>

#include "FormFile.h"

namespace RegexComponent::tool {

namespace {

RegularExpressionCustom& CreateComponent(const Settings& s, TComponent& owner) {
  if (!s.formFile.empty()) return LoadForm(s.formFile, owner);
  return *new RegularExpression(&owner);
}

// The mode goes first: adding a mode rewrites the individual members, and
// the other options are then added to what it left.
void ApplyOptions(const Settings& s, RegularExpressionCustom& re) {
  if (s.mode) re.ExpressionOptions = re.ExpressionOptions << *s.mode;
  for (RE::Options option : s.options) re.ExpressionOptions = re.ExpressionOptions << option;
  for (RE::Matches match : s.matches) re.MatchOptions = re.MatchOptions << match;
}

// The component's Merge writes nothing at all for an empty format string;
// on the command line an empty FORMAT means "delete the matches", which the
// empty group "()" says in the format syntax.
std::string FormatFor(const std::string& format) { return format.empty() ? "()" : format; }

void ApplyCommandProperties(const Settings& s, const Arguments& args, RegularExpressionCustom& re) {
  if (s.command == Command::Merge) re.MergeCopy = !s.onlyMatches;
  if (s.command == Command::GrepFiles || s.command == Command::FindFiles) {
    if (!args.inputs.empty()) re.FilesToMatch = args.inputs.front();
    if (s.recurse) re.DirectoryRecursion = true;
  }
}

}  // namespace

RegularExpressionCustom& Configure(const Settings& s, const Arguments& args, TComponent& owner) {
  RegularExpressionCustom& re = CreateComponent(s, owner);
  ApplyOptions(s, re);
  if (args.expression) re.Expression = *args.expression;
  if (args.formatString) re.FormatString = FormatFor(*args.formatString);
  if (s.text) re.StringToMatch = *s.text;
  ApplyCommandProperties(s, args, re);
  if (!s.saveFormFile.empty()) SaveForm(s.saveFormFile, re);
  return re;
}

}  // namespace RegexComponent::tool
