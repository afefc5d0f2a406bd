#include "Reporter.h"

#include <cstdio>
#include <cstring>

namespace RegexComponent::tool {

void WriteOut(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); }

void WriteLine(std::string_view text) {
  WriteOut(text);
  std::fputc('\n', stdout);
}

namespace {

// Parts holds the sub-expressions, then an empty entry, the text before the
// match and the text after it.
constexpr std::size_t kTrailingParts = 3;

void WriteField(const char* name, std::string_view value) {
  std::fputs(name, stdout);
  std::fputs(": ", stdout);
  WriteLine(value);
}

}  // namespace

void Reporter::Matched(TObject*, const CPPStringArray& parts, unsigned line, unsigned lineStart) {
  if (parts.size() <= kTrailingParts) return;
  const std::size_t groups = parts.size() - kTrailingParts;
  WriteField("match", parts[0]);
  WriteField("offset", std::to_string(parts[groups + 1].size()));
  WriteField("line", std::to_string(line));
  WriteField("line start", std::to_string(lineStart));
  for (std::size_t i = 1; i < groups; ++i) WriteField(("$" + std::to_string(i)).c_str(), parts[i]);
}

// Empty matches are not printed, as grep -o prints none.
void Reporter::Grepped(TObject*, const CPPStringArray& parts, unsigned line, unsigned, bool&) {
  if (parts.empty() || parts[0].empty()) return;
  WriteOut(GrepPrefix);
  WriteOut(std::to_string(line));
  std::fputc(':', stdout);
  WriteLine(parts[0]);
}

void Reporter::GreppedFile(TObject*, AnsiString file, const CPPStringArray& parts, CPPUnsignedArray positions,
                           bool&) {
  if (parts.empty() || parts[0].empty() || positions.empty()) return;
  WriteOut(file.View());
  std::fputc(':', stdout);
  WriteOut(std::to_string(positions[0]));
  std::fputc(':', stdout);
  WriteLine(parts[0]);
}

void Reporter::CountedFile(TObject*, AnsiString file, const CPPStringArray&, CPPUnsignedArray, bool&) {
  if (fileCount_ > 0 && file.View() != countedFile_) FlushFileCount();
  if (fileCount_ == 0) countedFile_ = file.ToStdString();
  ++fileCount_;
}

void Reporter::FlushFileCount() {
  if (fileCount_ == 0) return;
  WriteOut(countedFile_);
  std::fputc(':', stdout);
  WriteLine(std::to_string(fileCount_));
  fileCount_ = 0;
}

void Reporter::FoundFile(TObject*, AnsiString file, bool&) { WriteLine(file.View()); }

void Reporter::FileError(TObject*, AnsiString file, int error) {
  // Results printed so far come first when both streams go to one place.
  std::fflush(stdout);
  const std::string_view name = file.View();
  std::fprintf(stderr, "regexp: %.*s: %s\n", static_cast<int>(name.size()), name.data(), std::strerror(error));
  hadFileErrors_ = true;
}

}  // namespace RegexComponent::tool
