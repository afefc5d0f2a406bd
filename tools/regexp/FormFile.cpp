#include "FormFile.h"

#include <cstdio>
#include <memory>
#include <vector>

#include <RegexComponent/Framework/FormStreaming.h>
#include <RegexComponent/RegularExpression.h>

#include "ToolError.h"

namespace RegexComponent::tool {

namespace {

ToolError FormError(const std::string& path, const EFormError& e) {
  // Messages without a place mostly name the file already.
  if (e.Line() == 0) return ToolError(e.Message().find(path) != std::string::npos ? e.Message() : path + ": " + e.Message());
  return ToolError(path + ":" + std::to_string(e.Line()) + ":" + std::to_string(e.Column()) + ": " + e.Message());
}

}  // namespace

RegularExpressionCustom& LoadForm(const std::string& path, TComponent& owner) {
  // Reading creates the component through the registered classes.
  Regularexpression::Register();
  // The tool has none of the handlers an application's form may name, so
  // event lines are skipped, each with a warning.
  std::vector<std::string> skipped;
  TComponent* loaded = nullptr;
  try {
    loaded = LoadComponentFile(path, &owner, TFormReadOptions{true, &skipped});
  } catch (const EFormError& e) {
    throw FormError(path, e);
  }
  for (const std::string& event : skipped)
    std::fprintf(stderr, "regexp: warning: %s: event %s ignored\n", path.c_str(), event.c_str());
  auto* re = dynamic_cast<RegularExpressionCustom*>(loaded);
  if (!re) {
    delete loaded;
    throw ToolError(path + ": the form holds no RegularExpression component");
  }
  return *re;
}

void SaveForm(const std::string& path, const RegularExpressionCustom& component) {
  try {
    SaveComponentFile(path, component);
  } catch (const EFormError& e) {
    throw FormError(path, e);
  }
}

}  // namespace RegexComponent::tool
