// RegularExpressionCustom: the regular-expression component. It holds the
// expression and its options, the subject, a file specification and a
// format string, compiles lazily and reports matches through events.
//
// A short tour (RegularExpression, the published class, is used the same
// way; examples/ has complete programs):
//
//   RegexComponent::RegularExpression re(nullptr);
//   re.Expression = "([a-z]+)=([0-9]+)";
//   re.StringToMatch = "a=1 bc=22";
//   if (re.ParseExpression() != 0) puts(re.GetExpressionError().c_str());
//   re.Search();                              // the leftmost match: "a=1"
//   re.GetMatchingStrings();                  // {"a=1", "a", "1", "", "", " bc=22"}
//
//   re.OnGrepping = ...;                      // or, without an event:
//   re.ForEachMatch([](const RegexComponent::MatchView& m) {
//     std::cout << m.Position(0) << ' ' << m.Str(0) << '\n';  // 0 a=1, 4 bc=22
//   });
//
//   re.FormatString = "$2:$1";
//   re.MergeCopy = true;
//   std::string out;
//   re.Merge(out);                            // "1:a 22:bc"
//
//   re.FilesToMatch = "src/*.cpp";            // files: a wildcard specification
//   re.DirectoryRecursion = true;
//   re.ForEachFileMatch([](std::string_view file, const RegexComponent::MatchView& m) {
//     std::cout << file << ':' << m.Position(0) << '\n';
//   });
//
// Threads: a component is used by one thread at a time. GrepFiles and
// FindFiles serialise on the process-wide FileOperationLock; ForEachFileMatch
// takes no lock, so different components may walk on several threads at
// once. A stop_token may be requested from any thread. FileSearchWorkers is
// read and written from any thread.
#pragma once

#include <cstddef>
#include <atomic>
#include <cstdint>
#include <locale>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

#include "RegexComponent/Export.h"
#include "RegexComponent/Framework/Classes.h"
#include "RegexComponent/Framework/SyncObjs.h"
#include "RegexComponent/Framework/System.h"
#include "RegexComponent/MatchView.h"

// The engine's match results, declared here so that this header needs no
// Boost header; RegexComponent/EngineTypes.h brings in their definition
// for a caller of GrepCallbackPredicate.
namespace boost {
template <class BidiIterator>
struct sub_match;
template <class BidiIterator, class Allocator>
class match_results;
}  // namespace boost

namespace RegexComponent {

namespace detail {
// The component's private state, defined beside its units.
struct ComponentState;
}  // namespace detail

// The file-search object GrepFiles hands to GrepFilesCallback; an internal
// class whose header is not installed.
class RegEx;

using CPPStringArray = std::vector<std::string>;
using CPPUnsignedArray = std::vector<std::uint32_t>;
// The engine's results of one match over the subject bytes.
using reg_match = boost::match_results<const char*, std::allocator<boost::sub_match<const char*>>>;

// LineIndex and StartOfLine are 32-bit: a value that does not fit (a line
// past the 4 294 967 295th, or a line starting 4 GiB or more into the
// subject) is reported as 0xFFFFFFFF, never wrapped. ForEachMatch gives the
// 64-bit values.
using MatchingEvent = Closure<void(TObject* Sender, const CPPStringArray& Parts, unsigned LineIndex,
                                   unsigned StartOfLine)>;
using GreppingEvent = Closure<void(TObject* Sender, const CPPStringArray& Parts, unsigned LineIndex,
                                   unsigned StartOfLine, bool& bcontinue)>;
using GreppingFilesEvent = Closure<void(TObject* Sender, AnsiString file, const CPPStringArray& Parts,
                                        CPPUnsignedArray Positions, bool& bcontinue)>;
using FindFilesEvent = Closure<void(TObject* Sender, AnsiString file, bool& bcontinue)>;
// A file or directory that a file operation's walk could not open or list,
// with the errno value; the walk goes on with the next entry.
using FileErrorEvent = Closure<void(TObject* Sender, AnsiString file, int error)>;

class RC_API RegularExpressionCustom : public TComponent {
 public:
  // Each member of the two enums has one row, with its name and flag value,
  // in the library's member tables; a new member is added there too.
  enum Options {
    EscapeInCharacterSets, CharacterClasses, Intervals, LimitedOperations,
    NewlineAsAlternationOperator, QuestionmarkPlusNotOperators, BracesNotOperators,
    ParenthesesNotOperators, BackReferences, VerticalbarNotOperator, Literals,
    CaseInsensitive, NoLocaleSpecificCollation, Basic, Extended, Normal
  };
  enum Matches {
    MatchDefault, MatchNotBeginningOfLine, MatchNotEndOfLine, MatchNotBeginningOfBuffer,
    MatchNotEndOfBuffer, MatchNotBeginningOfWord, MatchNotEndOfWord, MatchNotDotNewline,
    MatchNotDotNullCharacter, MatchShortest, MatchNotNullString, MatchContinuous
  };
  using OptionsSet = Set<Options, EscapeInCharacterSets, Normal>;
  using MatchesSet = Set<Matches, MatchDefault, MatchContinuous>;

  explicit RegularExpressionCustom(TComponent* Owner);
  ~RegularExpressionCustom() override;

  static TComponentClass StaticClass();
  TComponentClass ClassType() const override { return StaticClass(); }

  // --- property accessors -------------------------------------------------
  AnsiString GetExpression() const;
  void SetExpression(AnsiString value);
  AnsiString GetStringToMatch() const;
  void SetStringToMatch(AnsiString value);
  // Takes the caller's string as the subject without copying its bytes; as
  // with every subject, the text ends at its first NUL byte.
  void SetStringToMatch(std::string&& value);
  void SetStringToMatch(const char* value);
  AnsiString GetFilesToMatch() const;
  void SetFilesToMatch(AnsiString value);
  AnsiString GetFormatString() const;
  void SetFormatString(AnsiString value);
  void SetOptions(OptionsSet value);
  void SetMatches(MatchesSet value);

  // --- expression options and compilation --------------------------------
  // The locale of the next compilation (and of Format); compiles nothing.
  void SetExpressionLocale(const std::locale& locale);
  // The engine's message for the last failed compilation, or empty.
  std::string GetExpressionError() const;
  // Compiles Expression unless it is compiled already; 0 when usable, 1 for
  // an empty Expression, else the engine's error code.
  std::uint8_t ParseExpression();
  // The engine's syntax-flag word for ExpressionOptions.
  std::uint32_t GetFlagOptions() const;
  // The low 8 bits of `code`.
  std::uint8_t ConvertREXResult(unsigned int code) const;
  // The compiled expression's marked sub-expressions; 0 before compiling.
  unsigned NumberOfSubexpressions() const;
  // The engine's match-flag word for MatchOptions.
  std::uint32_t GetMatchFlags() const;

  // --- operations ----------------------------------------------------------
  // Whether a match starts at the subject's first byte; fires OnMatching.
  bool Match();
  // Whether a match spans the whole subject; fires OnMatching.
  bool MatchAll();
  // Whether the subject holds a match (the leftmost); fires OnSearching.
  bool Search();
  // The current match's slots, an empty entry, then its prefix and suffix.
  CPPStringArray GetMatchingStrings() const;
  // Every match of the subject, left to right, through OnGrepping; the count.
  std::uint32_t Grep();
  // Grep's per-match step: fires OnGrepping; false when the handler stops.
  bool GrepCallbackPredicate(const reg_match& match);
  // Every match in every file of FilesToMatch through OnGreppingFiles, under
  // FileOperationLock, events on the calling thread; the count.
  std::uint32_t GrepFiles();
  // Each file of FilesToMatch holding a match through OnFindFiles, under
  // FileOperationLock; the number of such files.
  std::uint32_t FindFiles();
  // GrepFiles' and FindFiles' per-file steps and error report, for
  // CurrentPointer's component.
  static bool GrepFilesCallback(const char* file, const RegEx& expression);
  static bool FindFilesCallback(const char* file);
  static void FileErrorCallback(const char* file, int error);
  // FormatString expanded for the match being reported or the last one.
  void Format(std::string& out) const;
  // The subject with every match replaced by FormatString's expansion
  // (unmatched text copied too when MergeCopy).
  void Merge(std::string& out);

  // Runs over the subject exactly what Grep runs (same matches, order,
  // options and line rule) and calls f with a view of each match instead of
  // firing OnGrepping; no event fires. f returns false to stop (the match
  // that stopped the run is counted) or nothing. While f runs, Format and
  // GetMatchingStrings describe its match, as inside an OnGrepping handler.
  // Once `stop` is requested, from any thread, no further match is handed
  // to f. Returns the number of matches handed to f; 0, without compiling,
  // for an empty subject, and 0 for an unusable expression.
  std::uint64_t ForEachMatch(MatchCallback f);
  std::uint64_t ForEachMatch(MatchCallback f, std::stop_token stop);

  // Walks FilesToMatch as GrepFiles does (the same files in the same order,
  // the expression read as GrepFiles reads it, the same matches) and calls
  // f with each file name and a view of each match, its offsets 64-bit from
  // the file's start. Prefix() and Suffix() are empty: files are read in
  // chunks, never whole. With `countLines` each view carries its 64-bit
  // LineIndex and StartOfLine (one more pass over each file's bytes, and the
  // walk runs on the calling thread); without, both are 0 and
  // FileSearchWorkers applies as to GrepFiles. No event fires but
  // OnFileError, which is called for what the walk cannot open, on the
  // calling thread, without FileOperationLock. Neither CurrentPointer nor
  // FileOperationLock is used, so several threads may walk at once (each
  // component by one thread at a time; OnFileError handlers of concurrent
  // walks may run concurrently). f returns false to stop, or nothing. A stop
  // request ends the walk between matches (and, counting lines or with one
  // worker, between chunks). Exceptions from f or the matcher pass out.
  // Returns the number of matches handed to f; 0 for an empty or rejected
  // expression or an empty FilesToMatch.
  std::uint64_t ForEachFileMatch(FileMatchCallback f);
  std::uint64_t ForEachFileMatch(FileMatchCallback f, bool countLines);
  std::uint64_t ForEachFileMatch(FileMatchCallback f, bool countLines, std::stop_token stop);

  // Searches what the open descriptor `fd` (not closed; standard input
  // included) yields up to its end with the compiled expression and the
  // match options, as Grep would search it as a subject, except that every
  // byte is searched, NUL included. It reads in chunks, so memory stays
  // about one chunk (4 MiB) plus the longest line or open match. Views have
  // 64-bit offsets from the first byte read, LineIndex and StartOfLine (an
  // empty input, like an empty subject, has no match);
  // Prefix() and Suffix() are empty, and Format does not describe the
  // match. f returns false to stop, or nothing; a stop request ends the
  // search between matches and between chunks. A read error throws
  // std::system_error after the matches before it. Returns the number of
  // matches handed to f; 0, reading nothing, for an unusable expression.
  std::uint64_t ForEachMatch(int fd, MatchCallback f);
  std::uint64_t ForEachMatch(int fd, MatchCallback f, std::stop_token stop);

  // --- process-wide file-operation lock ------------------------------------
  // Creates the lock if it does not exist yet; safe to call from any thread.
  static TCriticalSection& CreateFileOperationLock();
  // Frees the lock; called when the library is unloaded.
  static void FreeFileOperationLock();

  static RegularExpressionCustom* CurrentPointer;
  static TCriticalSection* FileOperationLock;

  // How many threads GrepFiles and FindFiles search files with, read when a
  // walk starts. 1, the default, searches on the calling thread alone, file
  // after file, and nothing runs beside the handlers. 0 means one per
  // available core, n > 1 that many. With workers, files are read and
  // searched ahead of the handlers: the events, their order, their texts and
  // positions, the count and the effect of clearing bcontinue stay the
  // same, and every handler still runs on the calling thread under
  // FileOperationLock; but a handler that changes a file later in the walk
  // may see it searched as it was before, where the default would search
  // it as changed. An exception from the matcher reaches the caller at the
  // same event as without workers. A walk with workers whose event has no
  // handler when it starts only counts: a handler assigned during it (by
  // OnFileError) is not called.
  static std::atomic<unsigned> FileSearchWorkers;

 protected:
  // Every property the class declares, in declaration order; the published
  // subclasses choose theirs from this list.
  static const TPropList& DeclaredProperties();

  // The stream search reading `chunkSize` bytes at a time (tests use tiny
  // chunks to put every boundary everywhere).
  std::uint64_t ForEachMatch(int fd, MatchCallback f, std::stop_token stop, std::size_t chunkSize);

  // The private state: texts, locale, compiled expression, held match and
  // the bookkeeping of running operations (components/ComponentState.h).
  const std::unique_ptr<detail::ComponentState> State;
  OptionsSet FExpressionOptions;
  MatchesSet FMatchOptions;

 public:
  // --- properties (the published classes choose which they show) -----------
  Property<RegularExpressionCustom, MatchesSet, &RegularExpressionCustom::FMatchOptions,
           &RegularExpressionCustom::SetMatches> MatchOptions{this};
  Property<RegularExpressionCustom, OptionsSet, &RegularExpressionCustom::FExpressionOptions,
           &RegularExpressionCustom::SetOptions> ExpressionOptions{this};
  Property<RegularExpressionCustom, AnsiString, &RegularExpressionCustom::GetExpression,
           &RegularExpressionCustom::SetExpression> Expression{this};
  Property<RegularExpressionCustom, AnsiString, &RegularExpressionCustom::GetFormatString,
           &RegularExpressionCustom::SetFormatString> FormatString{this};
  bool DirectoryRecursion = false;
  bool MergeCopy = false;
  Property<RegularExpressionCustom, AnsiString, &RegularExpressionCustom::GetStringToMatch,
           static_cast<void (RegularExpressionCustom::*)(AnsiString)>(&RegularExpressionCustom::SetStringToMatch)>
      StringToMatch{this};
  Property<RegularExpressionCustom, AnsiString, &RegularExpressionCustom::GetFilesToMatch,
           &RegularExpressionCustom::SetFilesToMatch> FilesToMatch{this};
  MatchingEvent OnMatching;
  MatchingEvent OnSearching;
  GreppingEvent OnGrepping;
  GreppingFilesEvent OnGreppingFiles;
  FindFilesEvent OnFindFiles;
  // Not a published property (forms neither store nor read it): called
  // during GrepFiles and FindFiles for each file or directory the walk
  // cannot open or list for a reason other than its vanishing meanwhile or
  // not being a regular file (EACCES, EMFILE, ENFILE, ENOMEM, ELOOP for a
  // link loop, ...). Counts and the other events are unchanged by it; a
  // skipped entry is simply not searched. Sender is the walking component.
  FileErrorEvent OnFileError;

 private:
  enum class MatchVariant { Anchored, Whole, Anywhere };
  bool RunOnce(MatchVariant variant);
  template <class Callback>
  std::uint32_t RunFileWalk(bool handled, Callback walk);
};

// Per-unit start-up and shut-down entries; they only count nested calls.
namespace Regularexpressioncustom {
RC_API void Initialization();
RC_API void Finalization();
RC_API int InitializationCount();
}  // namespace Regularexpressioncustom

template <>
RC_API const TSetTypeInfo& TSetTypeInfoOf<RegularExpressionCustom::Options>();
template <>
RC_API const TSetTypeInfo& TSetTypeInfoOf<RegularExpressionCustom::Matches>();

}  // namespace RegexComponent
