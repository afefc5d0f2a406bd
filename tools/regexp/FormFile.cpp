#include "FormFile.h"

#include <memory>

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
  TComponent* loaded = nullptr;
  try {
    loaded = LoadComponentFile(path, &owner);
  } catch (const EFormError& e) {
    throw FormError(path, e);
  }
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
