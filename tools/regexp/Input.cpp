#include "Input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "ToolError.h"

namespace RegexComponent::tool {

namespace {

ToolError FileError(const std::string& path, int error) {
  return ToolError(DisplayName(path) + ": " + std::strerror(error));
}

// Reads until end of file; a pipe or terminal has no size to go by.
std::string ReadAll(int fd, const std::string& path) {
  std::string text;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) return text;
    if (n < 0) {
      if (errno == EINTR) continue;
      throw FileError(path, errno);
    }
    text.append(buffer, static_cast<std::size_t>(n));
  }
}

class OpenFile {
 public:
  explicit OpenFile(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    if (fd_ < 0) throw FileError(path, errno);
  }
  ~OpenFile() { ::close(fd_); }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  int Fd() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

std::string DisplayName(const std::string& path) { return path == "-" ? "(standard input)" : path; }

std::string ReadInput(const std::string& path) {
  if (path == "-") return ReadAll(STDIN_FILENO, path);
  OpenFile file(path);
  struct stat info {};
  if (::fstat(file.Fd(), &info) == 0 && S_ISDIR(info.st_mode)) throw FileError(path, EISDIR);
  return ReadAll(file.Fd(), path);
}

void WarnIfTruncated(const std::string& text, const std::string& name) {
  const std::size_t nul = text.find('\0');
  if (nul == std::string::npos) return;
  std::fprintf(stderr, "regexp: warning: %s: NUL byte at offset %zu, the text after it is not searched\n",
               DisplayName(name).c_str(), nul);
}

}  // namespace RegexComponent::tool
