// RegularExpressionCustom: the regular-expression component. It holds the
// expression and its options, the subject, a file specification and a
// format string, compiles lazily and reports matches through events.
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
  void SetExpressionLocale(const std::locale& locale);
  std::string GetExpressionError() const;
  std::uint8_t ParseExpression();
  std::uint32_t GetFlagOptions() const;
  std::uint8_t ConvertREXResult(unsigned int code) const;
  unsigned NumberOfSubexpressions() const;
  std::uint32_t GetMatchFlags() const;

  // --- operations ----------------------------------------------------------
  bool Match();
  bool MatchAll();
  bool Search();
  CPPStringArray GetMatchingStrings() const;
  std::uint32_t Grep();
  bool GrepCallbackPredicate(const reg_match& match);
  std::uint32_t GrepFiles();
  std::uint32_t FindFiles();
  static bool GrepFilesCallback(const char* file, const RegEx& expression);
  static bool FindFilesCallback(const char* file);
  static void FileErrorCallback(const char* file, int error);
  void Format(std::string& out) const;
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
