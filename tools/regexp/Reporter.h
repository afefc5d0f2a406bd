// The component's owner in the tool: its event handlers print what the
// component reports, on standard output.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <RegexComponent/RegularExpressionCustom.h>

namespace RegexComponent::tool {

class Reporter : public TComponent {
 public:
  Reporter() : TComponent(nullptr) {}

  // Put before each grep line, e.g. "file:" when several inputs are read.
  std::string GrepPrefix;

  // OnMatching: the match, where it is and its parts.
  void Matched(TObject* sender, const CPPStringArray& parts, unsigned line, unsigned lineStart);
  // The same for a view of a match (search), with 64-bit values.
  void MatchedView(const MatchView& view);
  // A view of a subject or stream match: "LINE:MATCH".
  void GreppedView(const MatchView& view);
  // A view of a file match: "FILE:OFFSET:MATCH", the offset 64-bit.
  void GreppedFileView(std::string_view file, const MatchView& view);
  // With -c: counts matches per file; FlushFileCount prints the last.
  void CountedFile(std::string_view file);
  void FlushFileCount();
  // OnFindFiles: the file name.
  void FoundFile(TObject* sender, AnsiString file, bool& bcontinue);
  // OnFileError: "regexp: FILE: REASON" on stderr; the walk goes on.
  void FileError(TObject* sender, AnsiString file, int error);
  bool HadFileErrors() const { return hadFileErrors_; }

 private:
  bool hadFileErrors_ = false;
  std::string countedFile_;
  std::uint64_t fileCount_ = 0;
};

// Plain output helpers shared by the commands.
void WriteOut(std::string_view text);
void WriteLine(std::string_view text);

}  // namespace RegexComponent::tool
