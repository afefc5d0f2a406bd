#include "engine/FileWalker.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace RegexComponent::engine {

namespace {

constexpr std::size_t kListingSize = 64 * 1024;

class UniqueFd {
 public:
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }

 private:
  int fd_;
};

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
// skipped. On success `size` is the size the file had when opened.
int OpenRegularFile(int dirfd, const char* name, bool mayBeLink, std::uint64_t& size) {
  struct stat st;
  if (mayBeLink && (::fstatat(dirfd, name, &st, 0) != 0 || !S_ISREG(st.st_mode))) return -1;
  const int flags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (mayBeLink ? 0 : O_NOFOLLOW);
  int fd;
  do {
    fd = ::openat(dirfd, name, flags);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
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

}  // namespace

FileWalker::FileWalker() = default;
FileWalker::~FileWalker() = default;

bool FileWalker::Walk(const FileSpec& spec, bool recurse, FileVisitor& visitor) {
  spec_ = &spec;
  recurse_ = recurse;
  visitor_ = &visitor;
  path_ = spec.directory;
  if (!recurse && !spec.name.HasWildcard()) {
    path_ += spec.name.Literal();
    return VisitFile(AT_FDCWD, path_.c_str(), true);
  }
  const UniqueFd top(OpenDirectory(AT_FDCWD, spec.directory.empty() ? "." : spec.directory.c_str(), true));
  return !top || WalkDirectory(top.get(), 0);
}

bool FileWalker::WalkDirectory(int dirfd, std::size_t depth) {
  if (levels_.size() <= depth) levels_.emplace_back();
  Level& level = levels_[depth];
  ListDirectory(dirfd, level);
  const std::size_t base = path_.size();
  for (const Entry& file : level.files) {
    const char* name = level.names.data() + file.name;
    path_.append(name);
    const bool goOn = VisitFile(dirfd, name, file.mayBeLink);
    path_.resize(base);
    if (!goOn) return false;
  }
  for (const Entry& directory : level.directories) {
    const char* name = level.names.data() + directory.name;
    const UniqueFd sub(OpenDirectory(dirfd, name, false));
    if (!sub) continue;  // vanished, unreadable, or out of descriptors
    path_.append(name).push_back('/');
    const bool goOn = WalkDirectory(sub.get(), depth + 1);
    path_.resize(base);
    if (!goOn) return false;
  }
  return true;
}

// Reads the whole listing before visiting anything, so the order does not
// depend on the file system's and the directory can be renamed or removed
// meanwhile without disturbing the walk.
void FileWalker::ListDirectory(int dirfd, Level& level) {
  level.names.clear();
  level.files.clear();
  level.directories.clear();
  if (!listing_) listing_ = std::make_unique_for_overwrite<char[]>(kListingSize);
  for (;;) {
    const ssize_t n = ::getdents64(dirfd, listing_.get(), kListingSize);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // the end, or an error: keep what was listed
    for (ssize_t at = 0; at < n;) {
      const auto* entry = reinterpret_cast<const struct dirent64*>(listing_.get() + at);
      at += entry->d_reclen;
      AddEntry(dirfd, level, entry->d_name, entry->d_type);
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
  const UniqueFd fd(OpenRegularFile(dirfd, name, mayBeLink, size));
  return !fd || visitor_->Visit(path_.c_str(), fd.get(), size);
}

}  // namespace RegexComponent::engine
