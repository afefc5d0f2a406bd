// Quoting input in messages. An error that names the text it could not
// accept (an identifier in a form, an expression) shows the start of that
// text, so a 10 MB token does not become a 10 MB message line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "RegexComponent/Export.h"

namespace RegexComponent {

// How many bytes of quoted input a message keeps.
inline constexpr std::size_t kQuotedInputLimit = 40;

// `input` itself when it is at most `limit` bytes long; otherwise its first
// `limit` bytes (fewer where the cut would split a UTF-8 sequence) followed
// by "…" (U+2026 in UTF-8).
RC_API std::string CutQuotedInput(std::string_view input, std::size_t limit = kQuotedInputLimit);

}  // namespace RegexComponent
