// RegularExpressionCustom: GrepFiles and FindFiles over the files named by
// FilesToMatch, and the plain-function callbacks (matches, files, walk
// errors) through which the file search reaches its component
// (CurrentPointer, under FileOperationLock).
#include "RegexComponent/RegularExpressionCustom.h"

#include "components/ComponentSupport.h"
#include "engine/RegEx.h"

namespace RegexComponent {

using RC = RegularExpressionCustom;

RegularExpressionCustom* RegularExpressionCustom::CurrentPointer = nullptr;

template <class Callback>
std::uint32_t RC::RunFileWalk(Callback walk) {
  if (FExpression.empty() || FFilesToMatch.empty()) return 0;
  RegEx engine;
  try {
    FileSubexpressionLimit = static_cast<std::int32_t>(
        engine.SetExpression(FExpression.c_str(), FExpressionOptions.Contains(CaseInsensitive)));
  } catch (const boost::regex_error&) {
    return 0;
  }
  const std::uint32_t flags = GetMatchFlags();
  const std::string files = FFilesToMatch;
  TCriticalSectionGuard lock(CreateFileOperationLock());
  // A walk started from a handler of another walk hands CurrentPointer
  // back to the outer walk when it ends.
  detail::ScopedValue<RegularExpressionCustom*> current(CurrentPointer, this);
  detail::ScopedValue<std::int32_t> limit(WalkSubexpressionLimit, FileSubexpressionLimit);
  return walk(engine, files.c_str(), DirectoryRecursion, flags);
}

std::uint32_t RC::GrepFiles() {
  return RunFileWalk([](RegEx& engine, const char* files, bool recurse, std::uint32_t flags) {
    return engine.GrepFiles(&RC::GrepFilesCallback, files, recurse, flags, &RC::FileErrorCallback);
  });
}

std::uint32_t RC::FindFiles() {
  return RunFileWalk([](RegEx& engine, const char* files, bool recurse, std::uint32_t flags) {
    return engine.FindFiles(&RC::FindFilesCallback, files, recurse, flags, &RC::FileErrorCallback);
  });
}

bool RC::GrepFilesCallback(const char* file, const RegEx& expression) {
  RegularExpressionCustom* c = CurrentPointer;
  if (!c || !c->OnGreppingFiles) return true;
  CPPStringArray parts;
  CPPUnsignedArray positions;
  for (std::int32_t i = 0; i <= c->WalkSubexpressionLimit; ++i) {
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
