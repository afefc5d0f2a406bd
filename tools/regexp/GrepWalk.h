// The files `regexp grep` searches: its operands, standard input, and with
// -r/-R the trees under directories, filtered as grep filters them.
//
// External interface: GrepFileHandler, GrepWalk.
#pragma once

#include <sys/stat.h>

#include <string>
#include <vector>

#include "GrepOptions.h"
#include "engine/files/FileSpec.h"
#include "engine/files/UniqueFd.h"

namespace RegexComponent::tool {

// A regular file the walk found and has not opened: whoever searches it
// opens it, so that the opening too can happen on a worker thread.
struct GrepFileRef {
  // The directory it is in, kept open while the file waits; none for the
  // working directory.
  engine::SharedFd dir;
  std::string openName;  // relative to `dir`
  // Off in a tree under -r: O_NOFOLLOW is what keeps a link put there since
  // the listing from being followed.
  bool follow = true;
  std::string shown;  // the name to print
  bool showName = false;

  // Opens the file into `fd` and stats it; returns 0 or the errno value.
  int Open(engine::UniqueFd& fd, struct stat& info) const;
};

class GrepFileHandler;

// Opens `file` here and now and hands it to `handler` as an open file, or
// reports the failure to open it; returns false when the walk is to end.
bool OpenAndSearch(const GrepSettings& settings, GrepFileHandler& handler, const GrepFileRef& file);

class GrepFileHandler {
 public:
  // Searches the open file `fd`, which the handler may take over (the walk
  // closes it otherwise). `name` is the name to print. Returns false to end
  // the whole walk.
  virtual bool Search(engine::UniqueFd& fd, const struct stat& info, const std::string& name, bool showName) = 0;
  // Opens and searches a regular file, reporting a failure to open it as
  // the walk reports its own problems (GrepWalk::Problem) in its turn.
  virtual bool Search(GrepFileRef&& file) = 0;
  // A problem met, in its turn among the files: `line` for standard error
  // (empty when -s silences it); `trouble` when it makes the status 2.
  virtual void Report(const std::string& line, bool trouble) = 0;

 protected:
  ~GrepFileHandler() = default;
};

// Visits the operands in order, and the entries of each directory sorted by
// name (byte order), files and subdirectories alike. Problems go to the
// handler as "regexp: NAME: reason" (unless -s) and the walk goes on.
class GrepWalk {
 public:
  GrepWalk(const GrepSettings& settings, GrepFileHandler& handler);

  // Returns false when the handler ended the walk.
  bool Run();

  // The line the walk reports for `name: message`, empty under -s.
  static std::string Problem(const GrepSettings& settings, const std::string& name, const std::string& message);

 private:
  struct Filter {
    NameFilter::Kind kind;
    engine::NamePattern pattern;
  };
  struct DirId {
    dev_t dev;
    ino_t ino;
  };

  bool Operand(const std::string& operand);
  bool Directory(const std::string& path, const std::string& shown, const struct stat& info);
  bool Entry(int dirfd, const std::string& path, const std::string& shown, const char* name);
  bool File(int dirfd, const char* openName, const std::string& shown, bool showName, bool commandLine);
  bool RegularFile(const engine::SharedFd& dir, const std::string& openName,
                   const std::string& shown, bool showName, bool commandLine);
  bool Included(const std::string& name, bool commandLine) const;
  bool DirectoryExcluded(const std::string& name, bool commandLine) const;
  void Fail(const std::string& name, const std::string& message);

  const GrepSettings& s_;
  GrepFileHandler& handler_;
  std::vector<Filter> filters_;
  bool firstIsInclude_ = false;
  bool namesInTree_;  // a single directory operand still shows names
  std::vector<DirId> ancestors_;
};

}  // namespace RegexComponent::tool
