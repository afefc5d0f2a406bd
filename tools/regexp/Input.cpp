#include "Input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "ToolError.h"

namespace RegexComponent::tool {

namespace {

ToolError FileError(const std::string& path, int error) {
  return ToolError(DisplayName(path) + ": " + std::strerror(error));
}

// Reads until end of file into one string, which becomes the subject as it
// is: a file's size is known up front, so its bytes are read straight into
// their place (one byte to spare, for the read that sees the end); a pipe
// has no size to go by, and the string grows by a quarter at a time.
std::string ReadAll(int fd, const std::string& path, std::size_t expected) {
  constexpr std::size_t kMinimumRoom = 65536;
  std::string text(expected + 1, '\0');
  std::size_t filled = 0;
  for (;;) {
    if (filled == text.size()) text.resize(filled + std::max(kMinimumRoom, filled / 4));
    const ssize_t n = ::read(fd, text.data() + filled, text.size() - filled);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      throw FileError(path, errno);
    }
    filled += static_cast<std::size_t>(n);
  }
  text.resize(filled);
  return text;
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
  if (path == "-") return ReadAll(STDIN_FILENO, path, 0);
  OpenFile file(path);
  struct stat info {};
  if (::fstat(file.Fd(), &info) != 0) return ReadAll(file.Fd(), path, 0);
  if (S_ISDIR(info.st_mode)) throw FileError(path, EISDIR);
  return ReadAll(file.Fd(), path, S_ISREG(info.st_mode) ? static_cast<std::size_t>(info.st_size) : 0);
}

void WarnIfTruncated(const std::string& text, const std::string& name) {
  const std::size_t nul = text.find('\0');
  if (nul == std::string::npos) return;
  std::fprintf(stderr, "regexp: warning: %s: NUL byte at offset %zu, the text after it is not searched\n",
               DisplayName(name).c_str(), nul);
}

}  // namespace RegexComponent::tool
