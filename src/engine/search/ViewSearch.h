// The file search handed to callbacks as MatchViews: the walk over a file
// specification (ForEachFileMatch) and the search of one open descriptor
// read in chunks (the stream search), with 64-bit offsets and lines.
//
// Interface: ViewWalk, GrepFileViews, GrepStreamViews. Used by the
// component's ForEachFileMatch and ForEachMatch(int fd, ...).
#pragma once

#include <cstddef>
#include <cstdint>
#include <stop_token>

#include <boost/regex.hpp>

#include "RegexComponent/MatchView.h"
#include "engine/search/FileSearch.h"
#include "engine/files/FileSpec.h"
#include "engine/files/FileWalker.h"

namespace RegexComponent::engine {

// How GrepFileViews walks.
struct ViewWalk {
  // As ParallelFileSearch::SetWorkers; used only when lines are not counted.
  unsigned workers = 1;
  // Whether views carry LineIndex and StartOfLine (else both are 0).
  bool countLines = false;
  std::stop_token stop;
};

// Calls `f` with every match of every file of `spec`, in the order and with
// the results of FileSearch::Grep, each view's offsets from its file's start
// and its Prefix and Suffix empty. Counting lines, or with one worker, the
// walk runs on the calling thread and a stop request ends it between
// matches and between chunks; otherwise files are searched by workers
// ahead of `f` and a stop ends it between matches. `errors` (may be null)
// hears of what the walk cannot open. Returns the matches handed to `f`.
std::uint64_t GrepFileViews(const boost::regex& expression, const FileSpec& spec, bool recurse,
                            boost::regex_constants::match_flag_type flags, const ViewWalk& how,
                            FileMatchCallback f, WalkErrorSink* errors);

// Calls `f` with every match in what `fd` yields until end of file, every
// byte searched (NUL included), as regex_grep over all of it would find
// them: the results of FileSearch on one file, read through `search` (whose
// chunk size bounds the memory with the longest line or open match). Views
// carry 64-bit offsets from the first byte read, lines and line starts;
// an empty input has no match, as an empty subject has none in Grep;
// Prefix and Suffix are empty. A stop request ends the search between
// matches and between chunks. A read error throws std::system_error after
// the matches before it. Returns the matches handed to `f`.
std::uint64_t GrepStreamViews(FileSearch& search, const boost::regex& expression,
                              boost::regex_constants::match_flag_type flags, int fd, MatchCallback f,
                              std::stop_token stop);

}  // namespace RegexComponent::engine
