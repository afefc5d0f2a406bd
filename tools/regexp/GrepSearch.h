// One file searched as `regexp grep` searches it, and the walk's handler
// that searches the files one after another on the calling thread.
//
// External interface: GrepFileResult, GrepFileSearch, GrepSequential.
#pragma once

#include <sys/stat.h>

#include <string>

#include "GrepOperands.h"
#include "GrepOptions.h"
#include "GrepOutput.h"
#include "GrepWriter.h"
#include "engine/match/LineMatcher.h"
#include "engine/search/LineSearch.h"

namespace RegexComponent::tool {

struct GrepFileResult {
  bool searched = false;  // the sink saw the file (tally is its own)
  bool trouble = false;
  GrepTally tally;
};

// Searches files into one sink; problems go to the sink's writer.
class GrepFileSearch {
 public:
  GrepFileSearch(const GrepSettings& settings, const engine::LineMatcher& matcher, GrepSink& sink, GrepWriter& out);

  // Searches `fd` from Begin to End, its lines passing through `lines`: the
  // sink itself, or one in front of it that passes them on.
  GrepFileResult Search(int fd, const struct stat& info, const std::string& name, bool showName,
                        engine::LineSink& lines);
  GrepSink& Sink() { return sink_; }

 private:
  bool ReadsOwnOutput(const struct stat& info) const;
  void Fail(GrepFileResult& result, const std::string& name, const std::string& message);

  const GrepSettings& s_;
  GrepSink& sink_;
  GrepWriter& out_;
  engine::LineSearch search_;
  bool outputIsFile_ = false;
  struct stat output_ {};
};

// The handler that searches each file as the walk reaches it, and settles
// the results of files searched elsewhere in the same order.
class GrepSequential final : public GrepFileHandler {
 public:
  GrepSequential(const GrepSettings& settings, const engine::LineMatcher& matcher, GrepSink& sink,
                 GrepWriter& out);

  bool Search(engine::UniqueFd& fd, const struct stat& info, const std::string& name, bool showName) override;
  bool Search(GrepFileRef&& file) override;
  void Report(const std::string& line, bool trouble) override;
  // Counts in one file's result; false when the search is over (-q and a
  // selected line).
  bool Settle(const GrepFileResult& result);
  // The exit status of the whole search.
  int Status() const;

 private:
  const GrepSettings& s_;
  GrepWriter& out_;
  GrepFileSearch search_;
  bool anySelected_ = false;
  bool trouble_ = false;
};

}  // namespace RegexComponent::tool
