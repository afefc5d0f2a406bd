#include "GrepWalk.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "engine/files/UniqueFd.h"


namespace RegexComponent::tool {

namespace {

bool IsDevice(const struct stat& info) {
  return S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode) || S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode);
}

using engine::UniqueFd;

// The names in a directory (without "." and ".."), sorted, each with the
// type the listing gave (DT_UNKNOWN when it gave none).
std::vector<std::pair<std::string, unsigned char>> ListDirectory(int fd, int& error) {
  std::vector<std::pair<std::string, unsigned char>> names;
  DIR* dir = ::fdopendir(::dup(fd));
  if (!dir) {
    error = errno;
    return names;
  }
  errno = 0;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name, entry->d_type);
    errno = 0;
  }
  error = errno;
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

// Command-line names match a glob by any suffix that starts after a '/',
// so that "--exclude=*.o" also skips "dir/x.o".
template <typename Test>
bool AnySuffix(const std::string& name, Test test) {
  if (test(name)) return true;
  for (std::size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1))
    if (slash + 1 < name.size() && name[slash + 1] != '/' && test(name.substr(slash + 1))) return true;
  return false;
}

}  // namespace

GrepWalk::GrepWalk(const GrepSettings& s, GrepFileHandler& handler) : s_(s), handler_(handler) {
  bool sawFileFilter = false;
  for (const NameFilter& filter : s.filters) {
    filters_.push_back({filter.kind, engine::NamePattern(filter.glob)});
    if (filter.kind == NameFilter::Kind::ExcludeDir || sawFileFilter) continue;
    sawFileFilter = true;
    firstIsInclude_ = filter.kind == NameFilter::Kind::Include;
  }
  namesInTree_ = s.withFilename.value_or(true);
}

std::string GrepWalk::Problem(const GrepSettings& s, const std::string& name, const std::string& message) {
  return s.noMessages ? std::string() : "regexp: " + name + ": " + message;
}

void GrepWalk::Fail(const std::string& name, const std::string& message) {
  handler_.Report(Problem(s_, name, message), true);
}

// The last --include or --exclude that matches decides; when none does, a
// file is searched unless the first of them was an --include.
bool GrepWalk::Included(const std::string& name, bool commandLine) const {
  bool included = !firstIsInclude_;
  for (const Filter& filter : filters_) {
    if (filter.kind == NameFilter::Kind::ExcludeDir) continue;
    const auto test = [&](const std::string& n) { return filter.pattern.Matches(n); };
    if (commandLine ? AnySuffix(name, test) : test(name)) included = filter.kind == NameFilter::Kind::Include;
  }
  return included;
}

bool GrepWalk::DirectoryExcluded(const std::string& name, bool commandLine) const {
  for (const Filter& filter : filters_) {
    if (filter.kind != NameFilter::Kind::ExcludeDir) continue;
    const auto test = [&](const std::string& n) { return filter.pattern.Matches(n); };
    if (commandLine ? AnySuffix(name, test) : test(name)) return true;
  }
  return false;
}

bool GrepWalk::Run() {
  if (s_.files.empty()) {
    if (s_.directories != Directories::Recurse) return Operand("-");
    struct stat info {};
    if (::stat(".", &info) != 0) {
      Fail(".", std::strerror(errno));
      return true;
    }
    return Directory(".", "", info);
  }
  for (const std::string& operand : s_.files)
    if (!Operand(operand)) return false;
  return true;
}

bool GrepWalk::Operand(const std::string& operand) {
  const bool showName = s_.withFilename.value_or(s_.files.size() > 1);
  struct stat info {};
  if (operand == "-") {
    if (::fstat(STDIN_FILENO, &info) != 0) info = {};
    // A copy, so that standard input stays open whoever closes it.
    UniqueFd in(::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0));
    return handler_.Search(in, info, s_.label, showName);
  }
  if (::stat(operand.c_str(), &info) != 0) {
    Fail(operand, std::strerror(errno));
    return true;
  }
  if (S_ISDIR(info.st_mode)) {
    if (s_.directories == Directories::Skip) return true;
    if (s_.directories == Directories::Read) {
      Fail(operand, std::strerror(EISDIR));
      return true;
    }
    if (DirectoryExcluded(operand, true)) return true;
    // grep shows "dir/name" for "dir/" and "dir//" alike.
    std::string shown = operand;
    while (shown.size() > 1 && shown.back() == '/') shown.pop_back();
    return Directory(operand, shown, info);
  }
  if (!Included(operand, true)) return true;
  if (IsDevice(info) && s_.devices == Devices::Skip) return true;
  if (S_ISREG(info.st_mode)) return RegularFile(engine::SharedFd(), operand, operand, showName, true);
  return File(AT_FDCWD, operand.c_str(), operand, showName, true);
}

// `shown` is how the directory's entries are named: "shown/name", or just
// "name" for the working directory searched when no FILE was given.
bool GrepWalk::Directory(const std::string& path, const std::string& shown, const struct stat& info) {
  for (const DirId& id : ancestors_) {
    if (id.dev != info.st_dev || id.ino != info.st_ino) continue;
    handler_.Report(Problem(s_, shown, "warning: recursive directory loop"), false);
    return true;
  }
  // Shared with the files in it that wait to be opened.
  const engine::SharedFd dir(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir) {
    Fail(shown.empty() ? path : shown, std::strerror(errno));
    return true;
  }
  int error = 0;
  const auto names = ListDirectory(dir.get(), error);
  if (error != 0) Fail(shown.empty() ? path : shown, std::strerror(error));
  ancestors_.push_back({info.st_dev, info.st_ino});
  bool goOn = true;
  for (const auto& [name, type] : names) {
    const std::string childPath = path + "/" + name;
    const std::string childShown = shown.empty() || shown == "/" ? shown + name : shown + "/" + name;
    // A regular file as the listing says needs no stat of its own: File()
    // opens it (without following a link put there meanwhile) and stats it.
    if (type == DT_REG) {
      if (Included(name, false)) goOn = RegularFile(dir, name, childShown, namesInTree_, false);
      if (!goOn) break;
      continue;
    }
    struct stat child {};
    const bool link = type == DT_LNK || (type == DT_UNKNOWN && ::fstatat(dir.get(), name.c_str(), &child, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(child.st_mode));
    // -r leaves symbolic links met in the tree alone; -R follows them.
    if (link && !s_.dereferenceRecursive) continue;
    if (::fstatat(dir.get(), name.c_str(), &child, 0) != 0) {
      Fail(childShown, std::strerror(errno));
      continue;
    }
    if (S_ISDIR(child.st_mode)) {
      if (!DirectoryExcluded(name, false)) goOn = Directory(childPath, childShown, child);
    } else if (S_ISREG(child.st_mode)) {
      if (Included(name, false)) goOn = RegularFile(dir, name, childShown, namesInTree_, false);
    } else if (Included(name, false) && (!IsDevice(child) || s_.devices == Devices::Read)) {
      goOn = File(dir.get(), name.c_str(), childShown, namesInTree_, false);
    }
    if (!goOn) break;
  }
  ancestors_.pop_back();
  return goOn;
}

int GrepFileRef::Open(engine::UniqueFd& fd, struct stat& info) const {
  fd = UniqueFd(::openat(dir ? dir.get() : AT_FDCWD, openName.c_str(),
                         O_RDONLY | O_NOCTTY | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW)));
  if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0) return errno;
  return 0;
}

bool OpenAndSearch(const GrepSettings& s, GrepFileHandler& handler, const GrepFileRef& file) {
  UniqueFd fd(-1);
  struct stat info {};
  if (const int error = file.Open(fd, info)) {
    handler.Report(GrepWalk::Problem(s, file.shown, std::strerror(error)), true);
    return true;
  }
  return handler.Search(fd, info, file.shown, file.showName);
}

bool GrepWalk::RegularFile(const engine::SharedFd& dir, const std::string& openName,
                           const std::string& shown, bool showName, bool commandLine) {
  return handler_.Search(GrepFileRef{dir, openName, commandLine || s_.dereferenceRecursive, shown, showName});
}

// A file that is not regular (a device, a FIFO) is opened here: opening
// one may wait, which is the walk's to do in its turn.
bool GrepWalk::File(int dirfd, const char* openName, const std::string& shown, bool showName, bool commandLine) {
  const int follow = commandLine || s_.dereferenceRecursive ? 0 : O_NOFOLLOW;
  UniqueFd fd(::openat(dirfd, openName, O_RDONLY | O_NOCTTY | O_CLOEXEC | follow));
  struct stat info {};
  if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0) {
    Fail(shown, std::strerror(errno));
    return true;
  }
  return handler_.Search(fd, info, shown, showName);
}

}  // namespace RegexComponent::tool
