// RegularExpressionCustom::ForEachFileMatch and the stream search
// ForEachMatch(int fd, ...): the file engine's matches handed to callbacks
// as MatchViews, with no event (but OnFileError), no lock and no
// CurrentPointer.
//
// Interface: the ForEachFileMatch overloads and the ForEachMatch overloads
// taking a descriptor, declared in RegularExpressionCustom.h.
#include "RegexComponent/RegularExpressionCustom.h"

#include "components/ComponentState.h"
#include "engine/expression/FileSearchSyntax.h"
#include "engine/expression/MatchFlags.h"
#include "engine/files/FileSpec.h"
#include "engine/search/ViewSearch.h"

namespace RegexComponent {

using RC = RegularExpressionCustom;

namespace {

// Walk errors go to the component's OnFileError, on the walking thread.
class ComponentErrors final : public engine::WalkErrorSink {
 public:
  explicit ComponentErrors(RC& component) : component_(component) {}
  void OnWalkError(const char* path, int error) override {
    const FileErrorEvent handler = component_.OnFileError;
    if (handler) handler(&component_, AnsiString(path), error);
  }

 private:
  RC& component_;
};

}  // namespace

std::uint64_t RC::ForEachFileMatch(FileMatchCallback f) { return ForEachFileMatch(f, false, std::stop_token()); }

std::uint64_t RC::ForEachFileMatch(FileMatchCallback f, bool countLines) {
  return ForEachFileMatch(f, countLines, std::stop_token());
}

std::uint64_t RC::ForEachFileMatch(FileMatchCallback f, bool countLines, std::stop_token stop) {
  if (State->Expression.empty() || State->FilesToMatch.empty()) return 0;
  // Read as GrepFiles reads it.
  boost::regex expression;
  try {
    expression = engine::CompileForFileSearch(State->Expression, FExpressionOptions.Contains(CaseInsensitive));
  } catch (const boost::regex_error&) {
    return 0;
  }
  const engine::ViewWalk how{FileSearchWorkers, countLines, std::move(stop)};
  ComponentErrors errors(*this);
  return engine::GrepFileViews(expression, engine::ParseFileSpec(State->FilesToMatch), DirectoryRecursion,
                               engine::ToBoostMatchFlags(GetMatchFlags()), how, f, &errors);
}

std::uint64_t RC::ForEachMatch(int fd, MatchCallback f) { return ForEachMatch(fd, f, std::stop_token()); }

std::uint64_t RC::ForEachMatch(int fd, MatchCallback f, std::stop_token stop) {
  return ForEachMatch(fd, f, std::move(stop), engine::ChunkReader::kDefaultChunkSize);
}

std::uint64_t RC::ForEachMatch(int fd, MatchCallback f, std::stop_token stop, std::size_t chunkSize) {
  if (ParseExpression() != 0 || stop.stop_requested()) return 0;
  // The search keeps its own expression, so f may change the component.
  const boost::regex expression = State->CompiledExpression;
  engine::FileSearch search(chunkSize);
  return engine::GrepStreamViews(search, expression, engine::ToBoostMatchFlags(GetMatchFlags()), fd, f,
                                 std::move(stop));
}

}  // namespace RegexComponent
