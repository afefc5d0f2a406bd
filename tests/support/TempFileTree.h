// A scratch directory tree for file-search tests, removed when it goes out
// of scope. Paths given to its members are relative to its root.
#pragma once

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace RegexComponent::testing {

class TempFileTree {
 public:
  TempFileTree() {
    std::string pattern = (std::filesystem::temp_directory_path() / "rc-files-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
  }
  ~TempFileTree() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  TempFileTree(const TempFileTree&) = delete;
  TempFileTree& operator=(const TempFileTree&) = delete;

  const std::filesystem::path& Root() const { return root_; }
  std::string Path(const std::string& relative) const { return (root_ / relative).string(); }

  void Write(const std::string& relative, const std::string& content) const {
    std::filesystem::create_directories((root_ / relative).parent_path());
    std::ofstream(root_ / relative, std::ios::binary) << content;
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
