// Opening the files and directories of a walk: retried when a signal
// interrupts, never inherited by a child process, and never waiting on a
// FIFO or device where the caller asks for regular files.
//
// External interface: OpenForReading, OpenDirectory, OpenRegularFile.
#pragma once

#include <cstdint>

namespace RegexComponent::engine {

// openat(dirfd, name, O_RDONLY | O_CLOEXEC | flags); -1 with errno set on
// failure.
int OpenForReading(int dirfd, const char* name, int flags);

// A directory, through a link only when `follow`: O_NOFOLLOW is what keeps
// links to directories, and so link cycles, out of a walk that does not
// follow them, even if an entry is swapped for a link between the listing
// and the open.
int OpenDirectory(int dirfd, const char* name, bool follow);

// Opens `name` (relative to `dirfd`, or AT_FDCWD) for reading only if it is
// a regular file; returns -1 for anything else or on any error. A FIFO,
// socket or device is never waited on nor read: the type is checked before
// the open (when the name may be a symbolic link, whose target is then
// followed) and again with fstat on the open descriptor, and the open itself
// is non-blocking. `mayBeLink` false opens with O_NOFOLLOW, so an entry that
// the directory listing called regular and that was swapped for a link is
// skipped. On success `size` is the size the file had when opened; on
// failure errno is 0 when the name is not a regular file, else the error.
int OpenRegularFile(int dirfd, const char* name, bool mayBeLink, std::uint64_t& size);

}  // namespace RegexComponent::engine
