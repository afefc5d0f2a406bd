// The files `regexp grep` searches: its operands, standard input, and with
// -r/-R the trees under directories, walked by the engine's FileWalker
// under the tool's filter.
//
// External interface: GrepProblem, GrepFileRef, GrepFileHandler,
// OpenAndSearch, GrepTreeFilter, GrepOperands.
#pragma once

#include <sys/stat.h>

#include <string>
#include <vector>

#include "GrepOptions.h"
#include "engine/files/FileSpec.h"
#include "engine/files/FileWalker.h"
#include "engine/files/UniqueFd.h"

namespace RegexComponent::tool {

// The line reported for `name: message`, "regexp: NAME: MESSAGE"; empty
// under -s.
std::string GrepProblem(const GrepSettings& settings, const std::string& name, const std::string& message);

// A regular file the walk found and has not opened: whoever searches it
// opens it, so that the opening too can happen on a worker thread.
struct GrepFileRef {
  // The directory it is in, kept open while the file waits; none for the
  // working directory.
  engine::SharedFd dir;
  std::string openName;  // relative to `dir`
  // Off for an entry of a tree that is not a link: O_NOFOLLOW is what keeps
  // a link put there since the listing from being followed.
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
  // the walk reports its own problems (GrepProblem) in its turn.
  virtual bool Search(GrepFileRef&& file) = 0;
  // A problem met, in its turn among the files: `line` for standard error
  // (empty when -s silences it); `trouble` when it makes the status 2.
  virtual void Report(const std::string& line, bool trouble) = 0;

 protected:
  ~GrepFileHandler() = default;
};

// What -r and -R take from a tree: files by --include and --exclude,
// directories by --exclude-dir; links only under -R; devices, FIFOs and
// sockets only under -D read; entries by name, files and directories
// alike. The same globs judge the operands (Included, DirectoryExcluded),
// there by any suffix of the name that starts after a '/'.
class GrepTreeFilter final : public engine::WalkFilter {
 public:
  explicit GrepTreeFilter(const GrepSettings& settings);

  bool TakesFile(std::string_view name) const override { return Included(name, false); }
  bool TakesDirectory(std::string_view name) const override { return !DirectoryExcluded(name, false); }
  // The last --include or --exclude that matches decides; when none does, a
  // file is searched unless the first of them was an --include.
  bool Included(std::string_view name, bool operand) const;
  bool DirectoryExcluded(std::string_view name, bool operand) const;

 private:
  struct Glob {
    NameFilter::Kind kind;
    engine::NamePattern pattern;
  };

  std::vector<Glob> globs_;
  bool firstIsInclude_ = false;
};

// Visits the operands in order, and with -r/-R the tree under each
// directory. Problems go to the handler as "regexp: NAME: reason" (unless
// -s) and the walk goes on.
class GrepOperands {
 public:
  GrepOperands(const GrepSettings& settings, GrepFileHandler& handler);

  // Returns false when the handler ended the walk.
  bool Run();

 private:
  class Tree;

  bool Operand(const std::string& operand);
  // The tree under `top`, its entries shown as "shown/name", or just "name"
  // when `shown` is empty (the working directory searched when no FILE was
  // given).
  bool Directory(const std::string& top, const std::string& shown);
  bool Special(const std::string& operand, bool showName);
  void Fail(const std::string& name, const std::string& message);

  const GrepSettings& s_;
  GrepFileHandler& handler_;
  const GrepTreeFilter filter_;
  engine::FileWalker walker_;
};

}  // namespace RegexComponent::tool
