// Running the subcommands on a configured component.
#pragma once

#include <RegexComponent/RegularExpressionCustom.h>

#include "CommandLine.h"
#include "Reporter.h"

namespace RegexComponent::tool {

// Resolves the arguments, configures the component and runs the command.
// Returns the exit status; errors are thrown (ToolError, the engine's
// exceptions) for main to report.
int RunCommand(const Settings& settings);

// Throws ToolError, with the engine's message, when the component's
// expression is empty or does not compile.
void CheckExpression(RegularExpressionCustom& re);

// search, match, matchall, grep, merge and format: the subject commands.
int RunSubjectCommand(const Settings& settings, const Arguments& args, RegularExpressionCustom& re,
                      Reporter& reporter);
// grepfiles and findfiles over each FILESPEC in turn.
int RunFileCommand(const Settings& settings, const Arguments& args, RegularExpressionCustom& re,
                   Reporter& reporter);
// info: prints what the component says about its expression and options.
int ShowInfo(RegularExpressionCustom& re);

}  // namespace RegexComponent::tool
