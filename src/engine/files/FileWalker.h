// The deterministic walk over the files a file specification names.
//
// External interface: FileVisitor, WalkErrorSink, FileWalker,
// DescriptorsAbound.
#pragma once

#include "engine/files/UniqueFd.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
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

// Whether the descriptor limit leaves room many times over for `inFlight`
// descriptors besides those a walk holds. Files opened away from the walk
// let it go on into other directories, holding theirs: those are opened so
// only where descriptors abound, so that a low limit fails no file that the
// walk opening each file in its turn would have opened.
bool DescriptorsAbound(std::size_t inFlight);

// Files in flight per worker, and whether the workers open them.
struct WorkerWindow {
  std::size_t filesPerWorker;
  bool opensFiles;
};
// A window of `filesPerWorker`, halved while it is above
// kLeastFilesPerWorker and descriptors do not abound for it: a larger
// window rides out a worker that the system leaves waiting, but it may hold
// a directory's descriptor per file. Workers open files where descriptors
// abound for the window chosen.
inline constexpr std::size_t kLeastFilesPerWorker = 16;
// The window asked for by default.
inline constexpr std::size_t kDefaultFilesPerWorker = 64;
WorkerWindow ChooseWorkerWindow(unsigned workers, std::size_t filesPerWorker);

// Told of each file or directory that the walk could not open or list, with
// the errno value; the walk goes on after the call. Entries that vanished
// meanwhile (ENOENT, ENOTDIR) or that turned into something the walk skips
// anyway (a link met where the listing promised none: ELOOP under
// O_NOFOLLOW) are not reported, nor are entries of other types.
class WalkErrorSink {
 public:
  virtual void OnWalkError(const char* path, int error) = 0;

 protected:
  ~WalkErrorSink() = default;
};

// Walks the files of a specification in a fixed order: in each directory the
// matching files by name in byte order, then (when recursing) each
// subdirectory by name, depth first. Only regular files are visited, and
// symbolic links to them; links to directories are never descended, so link
// cycles cannot loop. A name without wildcards and without recursion is
// opened directly, without listing its directory. What cannot be opened is
// skipped, and reported to the error sink as WalkErrorSink says.
//
// Each directory is listed whole into memory before anything in it is
// visited. At most kHeldDirectories directory descriptors stay open, those of
// the deepest levels of the current path, so the depth of a tree is not
// bounded by the descriptor limit; a level let go is opened again through
// its child's "..", checked to be the same directory, or else by its path
// from the top, one name at a time under O_NOFOLLOW.
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

  // Returns false if the visitor ended the walk. `errors` may be null.
  bool Walk(const FileSpec& spec, bool recurse, FileVisitor& visitor, WalkErrorSink* errors = nullptr);

  // Opens a file of a listing as the walk does: a regular file, with its
  // size when opened; or none, with `error` what the walk would report
  // (0 when it skips the entry quietly, as WalkErrorSink says).
  static UniqueFd OpenListedFile(int dirfd, const char* name, bool mayBeLink, std::uint64_t& size, int& error);

 private:
  struct Entry {
    std::uint32_t name;  // offset of the NUL-terminated name in Level::names
    bool mayBeLink;
  };
  struct Level {
    std::string names;
    std::vector<Entry> files;
    std::vector<Entry> directories;
    int fd = -1;               // open while the level is held
    // Owns fd, together with the files of the level that wait to be opened.
    SharedFd shared;
    std::uint64_t device = 0;  // identity, recorded when the level is let go
    std::uint64_t inode = 0;
    std::size_t pathEnd = 0;  // length of path_ up to and including its '/'
    std::size_t next = 0;     // the subdirectory to walk next

    void Hold(int descriptor);  // takes a directory's descriptor over; none if negative
    void Close();  // lets go of the descriptor; files waiting keep it open
  };
  class LevelCloser;

  const char* TopName() const;
  bool WalkTree();
  bool EnterLevel(std::size_t depth);
  bool VisitFiles(const Level& level);
  void ListDirectory(Level& level);
  void AddEntry(int dirfd, Level& level, const char* name, unsigned char type);
  bool VisitFile(int dirfd, const char* name, bool mayBeLink);
  bool OpenChild(std::size_t depth, const char* name);
  void LetGo(Level& level);
  bool Ascend(std::size_t depth);
  int ReopenFromChild(std::size_t depth);
  int ReopenByPath(std::size_t depth);
  static bool SameDirectory(int fd, const Level& level);
  void Report(const std::string& path, int error, bool followed);

  const FileSpec* spec_ = nullptr;
  bool recurse_ = false;
  FileVisitor* visitor_ = nullptr;
  WalkErrorSink* errors_ = nullptr;
  std::string path_;
  std::deque<Level> levels_;  // one per depth; a deque keeps references valid
  std::unique_ptr<char[]> listing_;
};

}  // namespace RegexComponent::engine
