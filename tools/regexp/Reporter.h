// The component's owner in the tool: its event handlers print what the
// component reports, on standard output.
#pragma once

#include <string>
#include <string_view>

#include <RegexComponent/RegularExpressionCustom.h>

namespace RegexComponent::tool {

class Reporter : public TComponent {
 public:
  Reporter() : TComponent(nullptr) {}

  // Put before each grep line, e.g. "file:" when several inputs are read.
  std::string GrepPrefix;

  // OnSearching and OnMatching: the match, where it is and its parts.
  void Matched(TObject* sender, const CPPStringArray& parts, unsigned line, unsigned lineStart);
  // OnGrepping: "LINE:MATCH".
  void Grepped(TObject* sender, const CPPStringArray& parts, unsigned line, unsigned lineStart, bool& bcontinue);
  // OnGreppingFiles: "FILE:OFFSET:MATCH".
  void GreppedFile(TObject* sender, AnsiString file, const CPPStringArray& parts, CPPUnsignedArray positions,
                   bool& bcontinue);
  // OnGreppingFiles with -c: counts per file; FlushFileCount prints the last.
  void CountedFile(TObject* sender, AnsiString file, const CPPStringArray& parts, CPPUnsignedArray positions,
                   bool& bcontinue);
  void FlushFileCount();
  // OnFindFiles: the file name.
  void FoundFile(TObject* sender, AnsiString file, bool& bcontinue);
  // OnFileError: "regexp: FILE: REASON" on stderr; the walk goes on.
  void FileError(TObject* sender, AnsiString file, int error);
  bool HadFileErrors() const { return hadFileErrors_; }

 private:
  bool hadFileErrors_ = false;
  std::string countedFile_;
  unsigned fileCount_ = 0;
};

// Plain output helpers shared by the commands.
void WriteOut(std::string_view text);
void WriteLine(std::string_view text);

}  // namespace RegexComponent::tool
