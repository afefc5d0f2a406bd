// A scratch directory tree for file-search tests, removed when it goes out
// of scope. Paths given to its members are relative to its root.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace RegexComponent::testing {

class TempFileTree {
 public:
  TempFileTree() {
    std::string pattern = (std::filesystem::temp_directory_path() / "rc-files-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
  }
  // Removed through descriptors, one name at a time, so that neither depth
  // nor paths longer than PATH_MAX keep anything behind.
  ~TempFileTree() {
    const int fd = ::open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) RemoveContents(fd);
    ::rmdir(root_.c_str());
  }
  TempFileTree(const TempFileTree&) = delete;
  TempFileTree& operator=(const TempFileTree&) = delete;

  const std::filesystem::path& Root() const { return root_; }
  std::string Path(const std::string& relative) const { return (root_ / relative).string(); }

  void Write(const std::string& relative, const std::string& content) const {
    std::filesystem::create_directories((root_ / relative).parent_path());
    std::ofstream(root_ / relative, std::ios::binary) << content;
  }
  // Writes `content` to the file named by the last of `names`, below the
  // directories the others name (made as needed), one name at a time
  // through descriptors, so that the path may be longer than PATH_MAX.
  void WriteDeep(const std::vector<std::string>& names, const std::string& content) const {
    int fd = ::open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (std::size_t i = 0; i + 1 < names.size() && fd >= 0; ++i) {
      ::mkdirat(fd, names[i].c_str(), 0755);
      const int next = ::openat(fd, names[i].c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      ::close(fd);
      fd = next;
    }
    const int file = fd < 0 ? -1 : ::openat(fd, names.back().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const bool written = file >= 0 && ::write(file, content.data(), content.size()) == static_cast<ssize_t>(content.size());
    if (file >= 0) ::close(file);
    if (fd >= 0) ::close(fd);
    if (!written) throw std::runtime_error("cannot write " + names.back());
  }
  void Directory(const std::string& relative) const { std::filesystem::create_directories(root_ / relative); }
  void Symlink(const std::string& target, const std::string& relative) const {
    std::filesystem::create_symlink(target, root_ / relative);
  }
  void Fifo(const std::string& relative) const {
    if (::mkfifo(Path(relative).c_str(), 0644) != 0) throw std::runtime_error("mkfifo failed");
  }
  // A listening UNIX socket stays bound as a socket file until removed.
  void Socket(const std::string& relative) const {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = Path(relative);
    if (path.size() >= sizeof(address.sun_path)) throw std::runtime_error("socket path too long");
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    if (!bound) throw std::runtime_error("bind failed");
  }

 private:
  // Empties the directory `fd` and closes it; a directory a test made
  // unreadable is made readable first.
  static void RemoveContents(int fd) {
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
      ::close(fd);
      return;
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    for (const std::string& name : names) {
      if (::unlinkat(fd, name.c_str(), 0) == 0) continue;
      constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
      int child = ::openat(fd, name.c_str(), kFlags);
      if (child < 0 && errno == EACCES && ::fchmodat(fd, name.c_str(), 0755, 0) == 0)
        child = ::openat(fd, name.c_str(), kFlags);
      if (child < 0) continue;
      RemoveContents(child);
      ::unlinkat(fd, name.c_str(), AT_REMOVEDIR);
    }
    ::closedir(dir);
  }

  std::filesystem::path root_;
};

// Runs the test body with the working directory set to `directory`.
class ScopedWorkingDirectory {
 public:
  explicit ScopedWorkingDirectory(const std::filesystem::path& directory)
      : saved_(std::filesystem::current_path()) {
    std::filesystem::current_path(directory);
  }
  ~ScopedWorkingDirectory() {
    std::error_code ignored;
    std::filesystem::current_path(saved_, ignored);
  }

 private:
  std::filesystem::path saved_;
};

}  // namespace RegexComponent::testing
