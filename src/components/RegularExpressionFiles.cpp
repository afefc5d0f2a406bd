// RegularExpressionCustom: GrepFiles and FindFiles over the files named by
// FilesToMatch, and the plain-function callbacks (matches, files, walk
// errors) through which the file search reaches its component
// (CurrentPointer, under FileOperationLock).
#include "RegexComponent/RegularExpressionCustom.h"

#include "components/ComponentState.h"
#include "components/ComponentSupport.h"
#include "engine/search/RegEx.h"

namespace RegexComponent {

using RC = RegularExpressionCustom;

RegularExpressionCustom* RegularExpressionCustom::CurrentPointer = nullptr;
std::atomic<unsigned> RegularExpressionCustom::FileSearchWorkers{1};

// `handled`: the walk's event has a handler. Without one, a walk with
// workers asks the engine only to count, since the workers would otherwise
// copy every match for a callback that returns at once.
template <class Callback>
std::uint32_t RC::RunFileWalk(bool handled, Callback walk) {
  detail::ComponentState& s = *State;
  if (s.Expression.empty() || s.FilesToMatch.empty()) return 0;
  RegEx engine;
  try {
    s.FileSubexpressionLimit = static_cast<std::int32_t>(
        engine.SetExpression(s.Expression.c_str(), FExpressionOptions.Contains(CaseInsensitive)));
  } catch (const boost::regex_error&) {
    return 0;
  }
  const std::uint32_t flags = GetMatchFlags();
  const unsigned workers = FileSearchWorkers;
  engine.SetFileSearchWorkers(workers);
  const bool callback = handled || workers == 1;
  const std::string files = s.FilesToMatch;
  TCriticalSectionGuard lock(CreateFileOperationLock());
  // A walk started from a handler of another walk hands CurrentPointer
  // back to the outer walk when it ends.
  detail::ScopedValue<RegularExpressionCustom*> current(CurrentPointer, this);
  detail::ScopedValue<std::int32_t> limit(s.WalkSubexpressionLimit, s.FileSubexpressionLimit);
  return walk(engine, files.c_str(), DirectoryRecursion, flags, callback);
}

std::uint32_t RC::GrepFiles() {
  return RunFileWalk(static_cast<bool>(OnGreppingFiles),
                     [](RegEx& engine, const char* files, bool recurse, std::uint32_t flags, bool callback) {
                       return engine.GrepFiles(callback ? &RC::GrepFilesCallback : nullptr, files, recurse, flags,
                                               &RC::FileErrorCallback);
                     });
}

std::uint32_t RC::FindFiles() {
  return RunFileWalk(static_cast<bool>(OnFindFiles),
                     [](RegEx& engine, const char* files, bool recurse, std::uint32_t flags, bool callback) {
                       return engine.FindFiles(callback ? &RC::FindFilesCallback : nullptr, files, recurse, flags,
                                               &RC::FileErrorCallback);
                     });
}

bool RC::GrepFilesCallback(const char* file, const RegEx& expression) {
  RegularExpressionCustom* c = CurrentPointer;
  if (!c || !c->OnGreppingFiles) return true;
  CPPStringArray parts;
  CPPUnsignedArray positions;
  for (std::int32_t i = 0; i <= c->State->WalkSubexpressionLimit; ++i) {
    positions.push_back(expression.Position(i));
    parts.push_back(expression.What(i));
  }
  bool bcontinue = true;
  GreppingFilesEvent handler = c->OnGreppingFiles;
  handler(c, AnsiString(file), parts, positions, bcontinue);
  return bcontinue;
}

bool RC::FindFilesCallback(const char* file) {
  RegularExpressionCustom* c = CurrentPointer;
  if (!c || !c->OnFindFiles) return true;
  bool bcontinue = true;
  FindFilesEvent handler = c->OnFindFiles;
  handler(c, AnsiString(file), bcontinue);
  return bcontinue;
}

void RC::FileErrorCallback(const char* file, int error) {
  RegularExpressionCustom* c = CurrentPointer;
  if (!c || !c->OnFileError) return;
  FileErrorEvent handler = c->OnFileError;
  handler(c, AnsiString(file), error);
}

}  // namespace RegexComponent
