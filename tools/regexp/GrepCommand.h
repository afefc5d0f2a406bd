// `regexp grep`, which reads its own command line.
#pragma once

namespace RegexComponent::tool {

// Runs `regexp grep` on argv[first..argc): the arguments after "grep".
// Returns the exit status: 0 a line selected, 1 none, 2 trouble.
int RunGrepCommand(int argc, char** argv, int first);

}  // namespace RegexComponent::tool
