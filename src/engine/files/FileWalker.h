// The deterministic walk over a tree of files, with what it takes decided
// by a filter: the component's file specification (SpecFilter) or the
// tool's operands and name rules.
//
// External interface: FileVisitor, WalkErrorSink, WalkRules, WalkFilter,
// FileWalker.
#pragma once

#include <sys/stat.h>

#include "engine/files/UniqueFd.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/files/FileSpec.h"

namespace RegexComponent::engine {

class ListedFileOpener;

class FileVisitor {
 public:
  // `fd` is an open regular file, closed by the walker after the call (also
  // when the call throws); `size` is its size when opened. Returning false
  // ends the walk.
  virtual bool Visit(const char* path, int fd, std::uint64_t size) = 0;
  // What the walker calls: Visit, unless the visitor would rather own the
  // descriptor (fd.release()) than copy it to keep it past the call.
  virtual bool VisitOwned(const char* path, UniqueFd& fd, std::uint64_t size) { return Visit(path, fd.get(), size); }
  // Called when a file could not be opened for want of descriptors: a
  // visitor that holds descriptors of files visited earlier settles them
  // and closes them, and returns true for the open to be tried again.
  virtual bool ReleaseDescriptors() { return false; }
  // What opens the files of a listed directory in the walker's stead, for
  // this walk; null (the default) for the walker to open them.
  virtual ListedFileOpener* Opener() { return nullptr; }
  // A file that is neither regular nor a directory (a device, a FIFO, a
  // socket), met where the filter takes such files (WalkRules::special):
  // opened on the walk's thread, as opening one may wait; `fd` as for
  // VisitOwned, `info` its status. Returning false ends the walk.
  virtual bool VisitSpecial(const char* /*path*/, UniqueFd& /*fd*/, const struct stat& /*info*/) { return true; }

 protected:
  ~FileVisitor() = default;
};

// A visitor that opens the files of a listed directory itself, elsewhere or
// later (FileWalker::OpenListedFile), gets them through VisitUnopened
// instead of Visit: `dir` stays open as long as the visitor holds it, and a
// failure to open is the visitor's to report, in its turn.
class ListedFileOpener {
 public:
  virtual bool VisitUnopened(const char* path, const SharedFd& dir, const char* name, bool mayBeLink) = 0;

 protected:
  ~ListedFileOpener() = default;
};

// Told of each file or directory that the walk could not open or list, with
// the errno value; the walk goes on after the call. Entries that vanished
// meanwhile (ENOENT, ENOTDIR) or that turned into something the walk skips
// anyway (a link met where the listing promised none: ELOOP under
// O_NOFOLLOW) are not reported, nor are entries of other types.
class WalkErrorSink {
 public:
  virtual void OnWalkError(const char* path, int error) = 0;
  // A directory that is one of its own ancestors (reached again through a
  // link the filter follows, or a mount), which the walk does not enter.
  virtual void OnLoop(const char* /*path*/) {}

 protected:
  ~WalkErrorSink() = default;
};

// How a walk treats what it meets in a tree, beside the names it takes.
struct WalkRules {
  enum class Links {
    kToFiles,  // links to regular files are files; links to directories are not descended
    kSkip,     // every link is left alone
    kFollow,   // links are followed, to files and directories alike
  };
  enum class Order {
    kFilesFirst,  // a directory's files by name, then its subdirectories by name
    kByName,      // files and subdirectories together, by name
  };
  Links links = Links::kToFiles;
  Order order = Order::kFilesFirst;
  // Whether devices, FIFOs and sockets are visited (VisitSpecial).
  bool special = false;
};

// What a walk takes: the names of the files it visits and of the
// directories it enters, below the top. Called on the walk's thread.
class WalkFilter {
 public:
  explicit WalkFilter(const WalkRules& rules) : rules_(rules) {}
  const WalkRules& Rules() const { return rules_; }
  virtual bool TakesFile(std::string_view name) const = 0;
  virtual bool TakesDirectory(std::string_view name) const = 0;

 protected:
  ~WalkFilter() = default;

 private:
  WalkRules rules_;
};

// The component's filter: the files whose names match the file pattern, in
// every subdirectory when recursing.
class SpecFilter final : public WalkFilter {
 public:
  SpecFilter(const FileSpec& spec, bool recurse) : WalkFilter(WalkRules{}), spec_(spec), recurse_(recurse) {}
  bool TakesFile(std::string_view name) const override { return spec_.name.Matches(name); }
  bool TakesDirectory(std::string_view) const override { return recurse_; }

 private:
  const FileSpec& spec_;
  bool recurse_;
};

// Walks a tree in a fixed order (WalkRules::Order; names compared as
// bytes), depth first. Only regular files are visited, and special files
// where the rules say so; links as the rules say. A directory that is one of
// its own ancestors is reported as a loop and not entered, so a walk always
// ends. What cannot be opened is skipped, and reported to the error sink as
// WalkErrorSink says.
//
// Each directory is listed whole into memory before anything in it is
// visited. At most kHeldDirectories directory descriptors stay open, those of
// the deepest levels of the current path, so neither the descriptor limit
// nor PATH_MAX bounds the depth of a tree; a level let go is opened again
// through its child's "..", or else by its path from the top, one name at a
// time (under O_NOFOLLOW unless the rules follow links), and checked by
// device and inode to be the same directory.
//
// One walker serves one walk at a time; it keeps its listing buffers between
// walks so that a walk allocates nothing once they have grown.
class FileWalker {
 public:
  static constexpr std::size_t kHeldDirectories = 8;

  FileWalker();
  ~FileWalker();
  FileWalker(const FileWalker&) = delete;
  FileWalker& operator=(const FileWalker&) = delete;

  // The files a file specification names, through SpecFilter: a name without
  // wildcards and without recursion is opened directly, without listing its
  // directory. Returns false if the visitor ended the walk. `errors` may be
  // null.
  bool Walk(const FileSpec& spec, bool recurse, FileVisitor& visitor, WalkErrorSink* errors = nullptr);
  // The tree under directory `top` (opened following links), its entries
  // named `shownPrefix` followed by their path below `top`, and the top
  // itself, in reports, `shownPrefix` without its last '/' (or "." when
  // empty).
  bool WalkTree(const std::string& top, const std::string& shownPrefix, const WalkFilter& filter,
                FileVisitor& visitor, WalkErrorSink* errors = nullptr);

  // Opens a file of a listing as the walk does: a regular file, with its
  // size when opened; or none, with `error` what the walk would report
  // (0 when it skips the entry quietly, as WalkErrorSink says).
  static UniqueFd OpenListedFile(int dirfd, const char* name, bool mayBeLink, std::uint64_t& size, int& error);

 private:
  // kLink: a link the rules follow, not yet known to lead to a file or a
  // directory.
  enum class Kind : std::uint8_t { kFile, kSpecial, kDirectory, kLink };
  struct Entry {
    std::uint32_t name;  // offset of the NUL-terminated name in Level::names
    Kind kind;
    bool mayBeLink;
  };
  struct Level {
    std::string names;
    std::vector<Entry> entries;  // in walk order
    int fd = -1;                 // open while the level is held
    // Owns fd, together with the files of the level that wait to be opened.
    SharedFd shared;
    std::uint64_t device = 0;  // identity, recorded when first opened
    std::uint64_t inode = 0;
    std::size_t pathEnd = 0;  // length of path_ up to and including its '/'
    std::size_t next = 0;     // the entry to take next

    // Takes a directory's descriptor over (none if negative); `identify`
    // records the directory's identity first, false when fstat fails.
    bool Hold(int descriptor, bool identify);
    void Close();  // lets go of the descriptor; files waiting keep it open
  };
  class LevelCloser;

  bool Descend();
  bool Resolve(const Level& level, Entry& entry);
  bool TakeFile(const Level& level, const Entry& entry);
  void ListDirectory(Level& level);
  void AddEntry(int dirfd, Level& level, const char* name, unsigned char type);
  bool VisitFile(int dirfd, const char* name, bool mayBeLink);
  bool VisitSpecial(int dirfd, const char* name, bool mayBeLink);
  bool OpenChild(std::size_t depth, const char* name, bool mayBeLink);
  bool IsAncestor(std::size_t depth) const;
  bool Ascend(std::size_t depth);
  int OpenDirectoryOf(int dirfd, const char* name) const;
  int ReopenFromChild(std::size_t depth);
  int ReopenByPath(std::size_t depth);
  static bool SameDirectory(int fd, const Level& level);
  void Report(const std::string& path, int error, bool followed);

  const WalkFilter* filter_ = nullptr;
  std::string top_;  // what the top is opened by
  FileVisitor* visitor_ = nullptr;
  WalkErrorSink* errors_ = nullptr;
  std::string path_;
  std::deque<Level> levels_;  // one per depth; a deque keeps references valid
  std::unique_ptr<char[]> listing_;
};

}  // namespace RegexComponent::engine
