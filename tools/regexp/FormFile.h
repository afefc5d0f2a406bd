// Loading and saving the tool's one RegularExpression component through
// form files.
#pragma once

#include <string>

#include <RegexComponent/RegularExpressionCustom.h>

namespace RegexComponent::tool {

// The component a form file describes, created owned by `owner`. Throws
// ToolError with the file name (and the place in it) when the file cannot
// be read, is no form, or holds no RegularExpression.
RegularExpressionCustom& LoadForm(const std::string& path, TComponent& owner);

// Writes `component` to `path`; the file is replaced only once written.
void SaveForm(const std::string& path, const RegularExpressionCustom& component);

}  // namespace RegexComponent::tool
