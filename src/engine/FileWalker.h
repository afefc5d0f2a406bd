// The deterministic walk over the files a file specification names.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "engine/FileSpec.h"

namespace RegexComponent::engine {

class FileVisitor {
 public:
  // `fd` is an open regular file, closed by the walker after the call (also
  // when the call throws); `size` is its size when opened. Returning false
  // ends the walk.
  virtual bool Visit(const char* path, int fd, std::uint64_t size) = 0;

 protected:
  ~FileVisitor() = default;
};

// Walks the files of a specification in a fixed order: in each directory the
// matching files by name in byte order, then (when recursing) each
// subdirectory by name, depth first. Only regular files are visited, and
// symbolic links to them; links to directories are never descended, so link
// cycles cannot loop. Entries that vanish, cannot be opened or are of any
// other type are skipped silently. A name without wildcards and without
// recursion is opened directly, without listing its directory.
//
// One walker serves one walk at a time; it keeps its listing buffers between
// walks so that a walk allocates nothing once they have grown.
class FileWalker {
 public:
  FileWalker();
  ~FileWalker();
  FileWalker(const FileWalker&) = delete;
  FileWalker& operator=(const FileWalker&) = delete;

  // Returns false if the visitor ended the walk.
  bool Walk(const FileSpec& spec, bool recurse, FileVisitor& visitor);

 private:
  struct Entry {
    std::uint32_t name;  // offset of the NUL-terminated name in Level::names
    bool mayBeLink;
  };
  struct Level {
    std::string names;
    std::vector<Entry> files;
    std::vector<Entry> directories;
  };

  bool WalkDirectory(int dirfd, std::size_t depth);
  void ListDirectory(int dirfd, Level& level);
  void AddEntry(int dirfd, Level& level, const char* name, unsigned char type);
  bool VisitFile(int dirfd, const char* name, bool mayBeLink);

  const FileSpec* spec_ = nullptr;
  bool recurse_ = false;
  FileVisitor* visitor_ = nullptr;
  std::string path_;
  std::deque<Level> levels_;  // one per depth; a deque keeps references valid
  std::unique_ptr<char[]> listing_;
};

}  // namespace RegexComponent::engine
