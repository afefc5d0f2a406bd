// Building the configured component from the settings: a form file first,
// then what the command line sets on top of it.
#pragma once

#include <RegexComponent/RegularExpressionCustom.h>

#include "CommandLine.h"

namespace RegexComponent::tool {

// Creates the component owned by `owner`, applies the options, expression,
// format string, --text subject and the command's own properties, and
// saves it with --save-form (before any file's text becomes its subject).
RegularExpressionCustom& Configure(const Settings& settings, const Arguments& args, TComponent& owner);

}  // namespace RegexComponent::tool
