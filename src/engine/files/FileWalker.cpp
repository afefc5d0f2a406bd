#include "engine/files/FileWalker.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engine/files/UniqueFd.h"

namespace RegexComponent::engine {

namespace {

constexpr std::size_t kListingSize = 64 * 1024;

// O_NOFOLLOW while recursing is what keeps links to directories, and so
// link cycles, out of the walk even if an entry is swapped for a link
// between the listing and the open.
int OpenDirectory(int dirfd, const char* name, bool follow) {
  const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW);
  int fd;
  do {
    fd = ::openat(dirfd, name, flags);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Opens `name` (relative to `dirfd`, or AT_FDCWD) for reading only if it is
// a regular file; returns -1 for anything else or on any error. A FIFO,
// socket or device is never waited on nor read: the type is checked before
// the open (when the name may be a symbolic link, whose target is then
// followed) and again with fstat on the open descriptor, and the open itself
// is non-blocking. `mayBeLink` false opens with O_NOFOLLOW, so an entry that
// the directory listing called regular and that was swapped for a link is
// skipped. On success `size` is the size the file had when opened; on
// failure errno is 0 when the name is not a regular file, else the error.
int OpenRegularFile(int dirfd, const char* name, bool mayBeLink, std::uint64_t& size) {
  struct stat st;
  if (mayBeLink && ::fstatat(dirfd, name, &st, 0) != 0) return -1;
  if (mayBeLink && !S_ISREG(st.st_mode)) {
    errno = 0;  // not a regular file
    return -1;
  }
  const int flags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (mayBeLink ? 0 : O_NOFOLLOW);
  int fd;
  do {
    fd = ::openat(dirfd, name, flags);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  const bool stated = ::fstat(fd, &st) == 0;
  const int error = stated ? 0 : errno;
  if (!stated || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = error;  // 0: not a regular file
    return -1;
  }
  size = static_cast<std::uint64_t>(st.st_size);
  return fd;
}

// For file systems whose listings do not carry the entry type.
unsigned char TypeOf(int dirfd, const char* name) {
  struct stat st;
  if (::fstatat(dirfd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return DT_UNKNOWN;
  if (S_ISDIR(st.st_mode)) return DT_DIR;
  if (S_ISREG(st.st_mode)) return DT_REG;
  if (S_ISLNK(st.st_mode)) return DT_LNK;
  return DT_UNKNOWN;
}

bool IsDotOrDotDot(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

void CloseKeepingErrno(int fd) {
  const int error = errno;
  ::close(fd);
  errno = error;
}

// Failures that mean the entry vanished or is no longer what the listing
// said it was (a directory replaced by a file, or an entry replaced by a
// link that O_NOFOLLOW refused): skipped like entries of other types.
bool IsQuiet(int error, bool followed) {
  return error == ENOENT || error == ENOTDIR || (error == ELOOP && !followed);
}

// A directory's path as reported: without its trailing '/'.
std::string DirectoryName(std::string path) {
  if (path.size() > 1 && path.back() == '/') path.pop_back();
  return path.empty() ? "." : path;
}

}  // namespace

// Closes the descriptors of the levels still held when a walk ends, also
// when the visitor throws.
class FileWalker::LevelCloser {
 public:
  explicit LevelCloser(std::deque<Level>& levels) : levels_(levels) {}
  ~LevelCloser() {
    for (Level& level : levels_) level.Close();
  }
  LevelCloser(const LevelCloser&) = delete;
  LevelCloser& operator=(const LevelCloser&) = delete;

 private:
  std::deque<Level>& levels_;
};

bool DescriptorsAbound(std::size_t inFlight) {
  // Each descriptor in flight or held by the walk, this many times over.
  constexpr rlim_t kHeadroom = 4;
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return false;
  return limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= kHeadroom * (inFlight + FileWalker::kHeldDirectories);
}

WorkerWindow ChooseWorkerWindow(unsigned workers, std::size_t filesPerWorker) {
  const auto abound = [workers](std::size_t perWorker) { return DescriptorsAbound(workers * (perWorker + 1)); };
  while (filesPerWorker > kLeastFilesPerWorker && !abound(filesPerWorker))
    filesPerWorker = std::max(kLeastFilesPerWorker, filesPerWorker / 2);
  return {filesPerWorker, abound(filesPerWorker)};
}

FileWalker::FileWalker() = default;
FileWalker::~FileWalker() = default;

bool FileWalker::Walk(const FileSpec& spec, bool recurse, FileVisitor& visitor, WalkErrorSink* errors) {
  spec_ = &spec;
  recurse_ = recurse;
  visitor_ = &visitor;
  errors_ = errors;
  path_ = spec.directory;
  if (!recurse && !spec.name.HasWildcard()) {
    path_ += spec.name.Literal();
    return VisitFile(AT_FDCWD, path_.c_str(), true);
  }
  if (levels_.empty()) levels_.emplace_back();
  Level& top = levels_.front();
  const int topFd = OpenDirectory(AT_FDCWD, TopName(), true);
  if (topFd < 0) {
    Report(DirectoryName(path_), errno, true);
    return true;
  }
  top.Hold(topFd);
  top.pathEnd = path_.size();
  const LevelCloser closer(levels_);
  return WalkTree();
}

const char* FileWalker::TopName() const { return spec_->directory.empty() ? "." : spec_->directory.c_str(); }

// Depth first without recursion, so that neither descriptors nor the stack
// bound the depth of a tree. A level is made held again (Ascend) before each
// of its subdirectories is opened and once more when it is done, which also
// closes its last child.
bool FileWalker::WalkTree() {
  std::size_t depth = 0;
  if (!EnterLevel(0)) return false;
  for (;;) {
    Level& level = levels_[depth];
    // Without this level the rest of its subdirectories cannot be reached.
    if (!Ascend(depth) || level.next == level.directories.size()) {
      if (depth == 0) return true;
      --depth;
      path_.resize(levels_[depth].pathEnd);
      continue;
    }
    const char* name = level.names.data() + level.directories[level.next++].name;
    path_.append(name).push_back('/');
    if (!OpenChild(depth, name)) {
      path_.resize(level.pathEnd);
      continue;
    }
    ++depth;
    if (!EnterLevel(depth)) return false;
  }
}

// Lists the held level `depth`, whose path path_ is, and visits its files.
bool FileWalker::EnterLevel(std::size_t depth) {
  Level& level = levels_[depth];
  level.next = 0;
  ListDirectory(level);
  return VisitFiles(level);
}

bool FileWalker::VisitFiles(const Level& level) {
  const std::size_t base = path_.size();
  for (const Entry& file : level.files) {
    const char* name = level.names.data() + file.name;
    path_.append(name);
    ListedFileOpener* opener = visitor_->Opener();
    const bool goOn = opener ? opener->VisitUnopened(path_.c_str(), level.shared, name, file.mayBeLink)
                             : VisitFile(level.fd, name, file.mayBeLink);
    path_.resize(base);
    if (!goOn) return false;
  }
  return true;
}

// Reads the whole listing before visiting anything, so the order does not
// depend on the file system's and the directory can be renamed or removed
// meanwhile without disturbing the walk.
void FileWalker::ListDirectory(Level& level) {
  level.names.clear();
  level.files.clear();
  level.directories.clear();
  if (!listing_) listing_ = std::make_unique_for_overwrite<char[]>(kListingSize);
  for (;;) {
    const ssize_t n = ::getdents64(level.fd, listing_.get(), kListingSize);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Report(DirectoryName(path_), errno, true);
    if (n <= 0) break;  // the end, or an error: keep what was listed
    for (ssize_t at = 0; at < n;) {
      const auto* entry = reinterpret_cast<const struct dirent64*>(listing_.get() + at);
      at += entry->d_reclen;
      AddEntry(level.fd, level, entry->d_name, entry->d_type);
    }
  }
  const char* names = level.names.data();
  const auto byName = [names](const Entry& a, const Entry& b) {
    return std::strcmp(names + a.name, names + b.name) < 0;  // compares bytes as unsigned
  };
  std::sort(level.files.begin(), level.files.end(), byName);
  std::sort(level.directories.begin(), level.directories.end(), byName);
}

void FileWalker::AddEntry(int dirfd, Level& level, const char* name, unsigned char type) {
  if (IsDotOrDotDot(name)) return;
  if (type == DT_UNKNOWN) type = TypeOf(dirfd, name);
  const std::size_t length = std::strlen(name);
  const bool isDirectory = type == DT_DIR;
  if (isDirectory) {
    if (!recurse_) return;
  } else if ((type != DT_REG && type != DT_LNK) || !spec_->name.Matches({name, length})) {
    return;
  }
  const Entry entry{static_cast<std::uint32_t>(level.names.size()), type == DT_LNK};
  level.names.append(name, length + 1);
  (isDirectory ? level.directories : level.files).push_back(entry);
}

bool FileWalker::VisitFile(int dirfd, const char* name, bool mayBeLink) {
  std::uint64_t size = 0;
  int error = 0;
  UniqueFd fd = OpenListedFile(dirfd, name, mayBeLink, size, error);
  if (!fd && (error == EMFILE || error == ENFILE) && visitor_->ReleaseDescriptors())
    fd = OpenListedFile(dirfd, name, mayBeLink, size, error);
  if (!fd) {
    if (error != 0 && errors_) errors_->OnWalkError(path_.c_str(), error);
    return true;
  }
  return visitor_->VisitOwned(path_.c_str(), fd, size);
}

UniqueFd FileWalker::OpenListedFile(int dirfd, const char* name, bool mayBeLink, std::uint64_t& size, int& error) {
  UniqueFd fd(OpenRegularFile(dirfd, name, mayBeLink, size));
  error = fd || IsQuiet(errno, mayBeLink) ? 0 : errno;
  return fd;
}

void FileWalker::Level::Hold(int descriptor) {
  fd = descriptor;
  shared = SharedFd(descriptor);
}

void FileWalker::Level::Close() {
  shared.reset();
  fd = -1;
}

// Opens subdirectory `name` of level `depth` as the next level, whose path
// path_ now is, and lets go of the level that leaves the held window.
bool FileWalker::OpenChild(std::size_t depth, const char* name) {
  if (levels_.size() <= depth + 1) levels_.emplace_back();
  Level& child = levels_[depth + 1];
  const int fd = OpenDirectory(levels_[depth].fd, name, false);
  if (fd < 0) {
    Report(DirectoryName(path_), errno, false);
    return false;
  }
  child.Hold(fd);
  child.pathEnd = path_.size();
  if (depth + 1 >= kHeldDirectories) LetGo(levels_[depth + 1 - kHeldDirectories]);
  return true;
}

void FileWalker::LetGo(Level& level) {
  if (level.fd < 0) return;
  struct stat st;
  const bool known = ::fstat(level.fd, &st) == 0;
  level.device = known ? st.st_dev : 0;
  level.inode = known ? st.st_ino : 0;
  level.Close();
}

// Holds level `depth` again after a walk below it (path_ is its path), then
// closes its child. False when it could not be opened again.
bool FileWalker::Ascend(std::size_t depth) {
  Level& level = levels_[depth];
  if (level.fd < 0) {
    int fd = ReopenFromChild(depth);
    if (fd < 0) fd = ReopenByPath(depth);
    if (fd < 0) Report(DirectoryName(path_), errno, false);
    level.Hold(fd);
  }
  if (depth + 1 < levels_.size()) levels_[depth + 1].Close();
  return level.fd >= 0;
}

// Through the child's "..", when the child is held and still in the level.
int FileWalker::ReopenFromChild(std::size_t depth) {
  if (depth + 1 >= levels_.size() || levels_[depth + 1].fd < 0) return -1;
  const int fd = OpenDirectory(levels_[depth + 1].fd, "..", false);
  if (fd >= 0 && !SameDirectory(fd, levels_[depth])) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// From the top of the walk, one name of path_ at a time, so that a link put
// in the way is refused as it would be while descending.
int FileWalker::ReopenByPath(std::size_t depth) {
  int fd = OpenDirectory(AT_FDCWD, TopName(), true);
  for (std::size_t d = 1; d <= depth && fd >= 0; ++d) {
    const std::size_t from = levels_[d - 1].pathEnd;
    const std::string name = path_.substr(from, levels_[d].pathEnd - 1 - from);
    const int next = OpenDirectory(fd, name.c_str(), false);
    CloseKeepingErrno(fd);
    fd = next;
  }
  if (fd >= 0 && !SameDirectory(fd, levels_[depth])) {
    ::close(fd);
    errno = ENOENT;  // moved away: as if it had vanished
    return -1;
  }
  return fd;
}

bool FileWalker::SameDirectory(int fd, const Level& level) {
  struct stat st;
  return ::fstat(fd, &st) == 0 && st.st_dev == level.device && st.st_ino == level.inode;
}

void FileWalker::Report(const std::string& path, int error, bool followed) {
  if (errors_ && !IsQuiet(error, followed)) errors_->OnWalkError(path.c_str(), error);
}

}  // namespace RegexComponent::engine
