#include "engine/files/OpenFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace RegexComponent::engine {

int OpenForReading(int dirfd, const char* name, int flags) {
  int fd;
  do {
    fd = ::openat(dirfd, name, O_RDONLY | O_CLOEXEC | flags);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

int OpenDirectory(int dirfd, const char* name, bool follow) {
  return OpenForReading(dirfd, name, O_DIRECTORY | (follow ? 0 : O_NOFOLLOW));
}

int OpenRegularFile(int dirfd, const char* name, bool mayBeLink, std::uint64_t& size) {
  struct stat st;
  if (mayBeLink && ::fstatat(dirfd, name, &st, 0) != 0) return -1;
  if (mayBeLink && !S_ISREG(st.st_mode)) {
    errno = 0;  // not a regular file
    return -1;
  }
  const int fd = OpenForReading(dirfd, name, O_NONBLOCK | O_NOCTTY | (mayBeLink ? 0 : O_NOFOLLOW));
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

}  // namespace RegexComponent::engine
