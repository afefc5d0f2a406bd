// RegularExpressionCustom: construction, destruction, the process-wide
// file-operation lock, the texts, and the unit's start-up entries. The
// other operations are in the RegularExpression*.cpp units beside this one:
// Options (option sets and compilation), Matching, Grep, Files, Format and
// Metadata.
#include "RegexComponent/RegularExpressionCustom.h"

#include <mutex>

#include "components/ComponentState.h"

namespace RegexComponent {

using RC = RegularExpressionCustom;

TCriticalSection* RegularExpressionCustom::FileOperationLock = nullptr;

const detail::SubjectText& detail::EmptySubject() {
  static const SubjectText empty = std::make_shared<const std::string>();
  return empty;
}

namespace {

// The stored texts end at their first NUL byte, as the framework string
// they come from is read as NUL-terminated text.
std::string UpToNul(const AnsiString& value) { return std::string(value.c_str()); }

std::mutex& LockCreationMutex() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace

// ---------------------------------------------------------------------------
// Construction and destruction

RegularExpressionCustom::RegularExpressionCustom(TComponent* Owner)
    : TComponent(Owner), State(std::make_unique<detail::ComponentState>()) {
  CreateFileOperationLock();
  FExpressionOptions << CharacterClasses << Intervals << BackReferences << NoLocaleSpecificCollation
                     << EscapeInCharacterSets << Normal;
  FMatchOptions << MatchDefault;
}

// The state's members are destroyed in reverse order of declaration:
// LastMatch, the compiled expression, the texts, the locale; then the base.
RegularExpressionCustom::~RegularExpressionCustom() = default;

TCriticalSection& RegularExpressionCustom::CreateFileOperationLock() {
  std::lock_guard guard(LockCreationMutex());
  if (!FileOperationLock) FileOperationLock = new TCriticalSection;
  return *FileOperationLock;
}

void RegularExpressionCustom::FreeFileOperationLock() {
  std::lock_guard guard(LockCreationMutex());
  delete FileOperationLock;
  FileOperationLock = nullptr;
}

// ---------------------------------------------------------------------------
// Texts

AnsiString RC::GetExpression() const { return AnsiString(State->Expression.c_str()); }
void RC::SetExpression(AnsiString value) {
  State->Expression = UpToNul(value);
  State->ExpressionParsed = false;
}

AnsiString RC::GetStringToMatch() const { return AnsiString(State->StringToMatch->c_str()); }
void RC::SetStringToMatch(AnsiString value) {
  const char* text = value.c_str();
  State->StringToMatch = *text ? std::make_shared<const std::string>(text) : detail::EmptySubject();
}

void RC::SetStringToMatch(std::string&& value) {
  // Cut at the first NUL like every stored text; shrinking a string keeps
  // its buffer, and moving it into the shared subject moves that buffer.
  const std::size_t nul = value.find('\0');
  if (nul != std::string::npos) value.resize(nul);
  State->StringToMatch =
      value.empty() ? detail::EmptySubject() : std::make_shared<const std::string>(std::move(value));
}

void RC::SetStringToMatch(const char* value) { SetStringToMatch(AnsiString(value)); }

AnsiString RC::GetFilesToMatch() const { return AnsiString(State->FilesToMatch.c_str()); }
void RC::SetFilesToMatch(AnsiString value) { State->FilesToMatch = UpToNul(value); }

AnsiString RC::GetFormatString() const { return AnsiString(State->FormatString.c_str()); }
void RC::SetFormatString(AnsiString value) { State->FormatString = UpToNul(value); }

// ---------------------------------------------------------------------------
// Unit start-up and shut-down

namespace Regularexpressioncustom {
namespace {
int initializationCount = 0;
}
void Initialization() { ++initializationCount; }
void Finalization() { --initializationCount; }
int InitializationCount() { return initializationCount; }
}  // namespace Regularexpressioncustom

}  // namespace RegexComponent
