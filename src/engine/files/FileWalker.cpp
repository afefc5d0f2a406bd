#include "engine/files/FileWalker.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engine/files/OpenFile.h"
#include "engine/files/UniqueFd.h"

namespace RegexComponent::engine {

namespace {

constexpr std::size_t kListingSize = 64 * 1024;

// The type of an entry whose listing carries none.
unsigned char TypeOf(int dirfd, const char* name) {
  struct stat st;
  if (::fstatat(dirfd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return DT_UNKNOWN;
  if (S_ISDIR(st.st_mode)) return DT_DIR;
  if (S_ISREG(st.st_mode)) return DT_REG;
  if (S_ISLNK(st.st_mode)) return DT_LNK;
  return DT_CHR;  // some special file: which kind does not matter to the walk
}

bool IsSpecialType(unsigned char type) {
  return type == DT_CHR || type == DT_BLK || type == DT_FIFO || type == DT_SOCK;
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

FileWalker::FileWalker() = default;
FileWalker::~FileWalker() = default;

bool FileWalker::Walk(const FileSpec& spec, bool recurse, FileVisitor& visitor, WalkErrorSink* errors) {
  const SpecFilter filter(spec, recurse);
  if (recurse || spec.name.HasWildcard())
    return WalkTree(spec.directory.empty() ? "." : spec.directory, spec.directory, filter, visitor, errors);
  filter_ = &filter;
  visitor_ = &visitor;
  errors_ = errors;
  path_ = spec.directory + spec.name.Literal();
  return VisitFile(AT_FDCWD, path_.c_str(), true);
}

bool FileWalker::WalkTree(const std::string& top, const std::string& shownPrefix, const WalkFilter& filter,
                          FileVisitor& visitor, WalkErrorSink* errors) {
  filter_ = &filter;
  visitor_ = &visitor;
  errors_ = errors;
  top_ = top;
  path_ = shownPrefix;
  if (levels_.empty()) levels_.emplace_back();
  Level& level = levels_.front();
  if (!level.Hold(OpenDirectory(AT_FDCWD, top_.c_str(), true), true)) {
    Report(DirectoryName(path_), errno, true);
    return true;
  }
  level.pathEnd = path_.size();
  const LevelCloser closer(levels_);
  ListDirectory(level);
  return Descend();
}

// Depth first without recursion, so that neither descriptors nor the stack
// bound the depth of a tree. A level is made held again (Ascend) before each
// of its entries is taken, which also closes the child walked last.
bool FileWalker::Descend() {
  std::size_t depth = 0;
  for (;;) {
    Level& level = levels_[depth];
    // A level done needs no descriptor again, only its child closed; one
    // that cannot be held again leaves the rest of its entries unreached.
    const bool done = level.next == level.entries.size();
    if (done && depth + 1 < levels_.size()) levels_[depth + 1].Close();
    if (done || !Ascend(depth)) {
      if (depth == 0) return true;
      --depth;
      path_.resize(levels_[depth].pathEnd);
      continue;
    }
    Entry entry = level.entries[level.next++];
    if (entry.kind == Kind::kLink && !Resolve(level, entry)) continue;
    if (entry.kind != Kind::kDirectory) {
      if (!TakeFile(level, entry)) return false;
      continue;
    }
    const char* name = level.names.data() + entry.name;
    path_.append(name).push_back('/');
    if (!OpenChild(depth, name, entry.mayBeLink)) {
      path_.resize(level.pathEnd);
      continue;
    }
    ++depth;
    ListDirectory(levels_[depth]);
  }
}

// A link the rules follow, taken in its turn for what it leads to: false
// when the filter does not take that, or it cannot be reached (reported).
bool FileWalker::Resolve(const Level& level, Entry& entry) {
  const char* name = level.names.data() + entry.name;
  struct stat st;
  if (::fstatat(level.fd, name, &st, 0) != 0) {
    // A link to nothing is reported as opening it would be.
    if (errors_) errors_->OnWalkError((path_ + name).c_str(), errno);
    return false;
  }
  const std::string_view view(name);
  if (S_ISDIR(st.st_mode)) {
    entry.kind = Kind::kDirectory;
    return filter_->TakesDirectory(view);
  }
  entry.kind = S_ISREG(st.st_mode) ? Kind::kFile : Kind::kSpecial;
  return filter_->TakesFile(view) && (entry.kind == Kind::kFile || filter_->Rules().special);
}

bool FileWalker::TakeFile(const Level& level, const Entry& entry) {
  const char* name = level.names.data() + entry.name;
  path_.append(name);
  bool goOn;
  if (entry.kind == Kind::kSpecial) {
    goOn = VisitSpecial(level.fd, name, entry.mayBeLink);
  } else if (ListedFileOpener* opener = visitor_->Opener()) {
    goOn = opener->VisitUnopened(path_.c_str(), level.shared, name, entry.mayBeLink);
  } else {
    goOn = VisitFile(level.fd, name, entry.mayBeLink);
  }
  path_.resize(level.pathEnd);
  return goOn;
}

// Reads the whole listing before visiting anything, so the order does not
// depend on the file system's and the directory can be renamed or removed
// meanwhile without disturbing the walk.
void FileWalker::ListDirectory(Level& level) {
  level.names.clear();
  level.entries.clear();
  level.next = 0;
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
  const bool filesFirst = filter_->Rules().order == WalkRules::Order::kFilesFirst;
  const auto inOrder = [names, filesFirst](const Entry& a, const Entry& b) {
    const bool aIsDirectory = a.kind == Kind::kDirectory;
    if (filesFirst && aIsDirectory != (b.kind == Kind::kDirectory)) return !aIsDirectory;
    return std::strcmp(names + a.name, names + b.name) < 0;  // compares bytes as unsigned
  };
  std::sort(level.entries.begin(), level.entries.end(), inOrder);
}

void FileWalker::AddEntry(int dirfd, Level& level, const char* name, unsigned char type) {
  if (IsDotOrDotDot(name)) return;
  const WalkRules& rules = filter_->Rules();
  if (type == DT_UNKNOWN) type = TypeOf(dirfd, name);
  const std::string_view view(name);
  Kind kind;
  if (type == DT_DIR) {
    if (!filter_->TakesDirectory(view)) return;
    kind = Kind::kDirectory;
  } else if (type == DT_LNK) {
    if (rules.links == WalkRules::Links::kSkip) return;
    // A link followed is judged in its turn by what it leads to (Resolve),
    // except that files first puts one that leads to a directory in place
    // now.
    const bool follow = rules.links == WalkRules::Links::kFollow;
    if (!follow && !filter_->TakesFile(view)) return;
    kind = follow ? Kind::kLink : Kind::kFile;
    struct stat st;
    if (follow && rules.order == WalkRules::Order::kFilesFirst && ::fstatat(dirfd, name, &st, 0) == 0 &&
        S_ISDIR(st.st_mode)) {
      if (!filter_->TakesDirectory(view)) return;
      kind = Kind::kDirectory;
    }
  } else if (type == DT_REG || (rules.special && IsSpecialType(type))) {
    if (!filter_->TakesFile(view)) return;
    kind = type == DT_REG ? Kind::kFile : Kind::kSpecial;
  } else {
    return;
  }
  level.entries.push_back({static_cast<std::uint32_t>(level.names.size()), kind, type == DT_LNK});
  level.names.append(view.data(), view.size() + 1);
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

// Opened as it is read, blocking: a FIFO waits for its writer, as the
// reading of it would.
bool FileWalker::VisitSpecial(int dirfd, const char* name, bool mayBeLink) {
  UniqueFd fd(OpenForReading(dirfd, name, O_NOCTTY | (mayBeLink ? 0 : O_NOFOLLOW)));
  struct stat st;
  if (!fd || ::fstat(fd.get(), &st) != 0) {
    Report(path_, errno, mayBeLink);
    return true;
  }
  return visitor_->VisitSpecial(path_.c_str(), fd, st);
}

UniqueFd FileWalker::OpenListedFile(int dirfd, const char* name, bool mayBeLink, std::uint64_t& size, int& error) {
  UniqueFd fd(OpenRegularFile(dirfd, name, mayBeLink, size));
  error = fd || IsQuiet(errno, mayBeLink) ? 0 : errno;
  return fd;
}

bool FileWalker::Level::Hold(int descriptor, bool identify) {
  struct stat st;
  if (descriptor >= 0 && identify) {
    if (::fstat(descriptor, &st) != 0) {
      CloseKeepingErrno(descriptor);
      descriptor = -1;
    } else {
      device = st.st_dev;
      inode = st.st_ino;
    }
  }
  fd = descriptor;
  shared = SharedFd(descriptor);
  return descriptor >= 0;
}

void FileWalker::Level::Close() {
  shared.reset();
  fd = -1;
}

int FileWalker::OpenDirectoryOf(int dirfd, const char* name) const {
  return OpenDirectory(dirfd, name, filter_->Rules().links == WalkRules::Links::kFollow);
}

// Opens subdirectory `name` of level `depth` as the next level, whose path
// path_ now is, and lets go of the level that leaves the held window. A
// directory that is one of its own ancestors is reported, not entered.
bool FileWalker::OpenChild(std::size_t depth, const char* name, bool mayBeLink) {
  if (levels_.size() <= depth + 1) levels_.emplace_back();
  Level& child = levels_[depth + 1];
  if (!child.Hold(OpenDirectoryOf(levels_[depth].fd, name), true)) {
    Report(DirectoryName(path_), errno, mayBeLink);
    return false;
  }
  if (IsAncestor(depth + 1)) {
    child.Close();
    if (errors_) errors_->OnLoop(DirectoryName(path_).c_str());
    return false;
  }
  child.pathEnd = path_.size();
  if (depth + 1 >= kHeldDirectories) levels_[depth + 1 - kHeldDirectories].Close();
  return true;
}

bool FileWalker::IsAncestor(std::size_t depth) const {
  const Level& level = levels_[depth];
  for (std::size_t d = 0; d < depth; ++d)
    if (levels_[d].device == level.device && levels_[d].inode == level.inode) return true;
  return false;
}

// Holds level `depth` again after a walk below it (path_ is its path), then
// closes its child. False when it could not be opened again.
bool FileWalker::Ascend(std::size_t depth) {
  Level& level = levels_[depth];
  if (level.fd < 0) {
    int fd = ReopenFromChild(depth);
    if (fd < 0) fd = ReopenByPath(depth);
    if (fd < 0) Report(DirectoryName(path_), errno, false);
    level.Hold(fd, false);
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
// in the way is refused (or followed, by rules that follow links) as it
// would be while descending.
int FileWalker::ReopenByPath(std::size_t depth) {
  int fd = OpenDirectory(AT_FDCWD, top_.c_str(), true);
  for (std::size_t d = 1; d <= depth && fd >= 0; ++d) {
    const std::size_t from = levels_[d - 1].pathEnd;
    const std::string name = path_.substr(from, levels_[d].pathEnd - 1 - from);
    const int next = OpenDirectoryOf(fd, name.c_str());
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
