// How the file searches (GrepFiles, FindFiles, ForEachFileMatch) read the
// expression: Boost's perl syntax, and of the component's options only
// case-insensitivity; the component's other options and its locale do not
// apply.
//
// External interface: CompileForFileSearch.
#pragma once

#include <string_view>

#include <boost/regex.hpp>

namespace RegexComponent::engine {

// `text` compiled as the file searches read it; throws boost::regex_error
// for a bad expression.
inline boost::regex CompileForFileSearch(std::string_view text, bool icase) {
  return boost::regex(text.begin(), text.end(), boost::regex::normal | (icase ? boost::regex::icase : 0));
}

}  // namespace RegexComponent::engine
