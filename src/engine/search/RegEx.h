// RegEx: searches the files named by a wildcard file specification for a
// regular expression, reporting each match or each matching file to a plain
// function. It drives the engine's file units (FileSpec, FileWalker,
// ChunkReader, FileSearch, ParallelFileSearch); the component's GrepFiles
// and FindFiles and the regexp tool use it. Internal: the header is not installed, the class keeps
// the component namespace because the public component header names it. See
// docs/file-search.md for the file specification rules, the visiting order
// and the reading method.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace RegexComponent {

class RegEx {
 public:
  // Returning false from a callback ends the walk.
  using GrepFilesCallbackType = bool (*)(const char* file, const RegEx& expression);
  using FindFilesCallbackType = bool (*)(const char* file);
  // A file or directory the walk could not open or list, with the errno
  // value (EACCES, EMFILE, ELOOP for a link loop, ...); the walk goes on.
  // Entries that vanish during the walk are not reported.
  using FileErrorCallbackType = void (*)(const char* file, int error);

  RegEx();
  ~RegEx();
  RegEx(const RegEx&) = delete;
  RegEx& operator=(const RegEx&) = delete;

  // Compiles `text` (null counts as empty) in Boost's default perl syntax,
  // case-insensitively if `icase`. Throws boost::regex_error for a bad
  // expression, after which no expression is set. Returns the number of
  // marked sub-expressions, not counting the whole match, so sub-expressions
  // 0 (the whole match) to the returned value are valid for What/Position.
  unsigned SetExpression(const char* text, bool icase);

  // Calls `callback` (may be null: then only counts) for every match in
  // every file `files` names, in file order. `matchFlags` is the component's
  // match-flag word. Returns the number of matches found. Returns 0 without
  // searching when no expression is set or `files` is null or empty.
  // Exceptions from the callback or the matcher pass out; the object stays
  // usable. Throws std::logic_error when called from one of this object's
  // own callbacks (another object may be used there freely). What cannot be
  // opened is skipped, and reported to `onError` when it is not null.
  unsigned GrepFiles(GrepFilesCallbackType callback, const char* files, bool recurse,
                     std::uint32_t matchFlags, FileErrorCallbackType onError = nullptr);
  // Calls `callback` (may be null) once for each file with a match, reading
  // each file only up to its first match. Returns the number of such files.
  // Otherwise as GrepFiles.
  unsigned FindFiles(FindFilesCallbackType callback, const char* files, bool recurse,
                     std::uint32_t matchFlags, FileErrorCallbackType onError = nullptr);

  // How many threads GrepFiles and FindFiles search with: 1 (the default)
  // searches on the calling thread alone; 0 one per available core. With
  // more than one, files are read and searched ahead of the callbacks,
  // which still run on the calling thread, in the same order and with the
  // same results and count; see engine/pipeline/ParallelFileSearch.h.
  void SetFileSearchWorkers(unsigned workers);

  // The current match, valid while a GrepFiles callback runs: the text of
  // sub-expression i (0 = the whole match), "" when it took no part, i is
  // out of range or no callback is running.
  std::string What(int i) const;
  // Its byte offset from the start of the file; 0xFFFFFFFF when the offset
  // does not fit 32 bits (never a wrapped value), and also when What(i)
  // would be "" for those reasons.
  unsigned Position(int i) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace RegexComponent
