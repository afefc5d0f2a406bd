// Reading the subject text of a command.
#pragma once

#include <string>

namespace RegexComponent::tool {

// The whole content of `path`, or of standard input when `path` is "-".
// Throws ToolError naming the file when it cannot be read.
std::string ReadInput(const std::string& path);

// The component's subject ends at the first NUL byte; says so on stderr
// when `text` has one, since the rest of `name` is then not searched.
void WarnIfTruncated(const std::string& text, const std::string& name);

// The name used for an input in messages and in grep's prefixes.
std::string DisplayName(const std::string& path);

}  // namespace RegexComponent::tool
