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

// The fields of a match, read through `group` for groups 1 to groups - 1.
template <class Group>
void WriteMatch(std::string_view match, std::uint64_t offset, std::uint64_t line, std::uint64_t lineStart,
                std::size_t groups, Group group) {
  WriteField("match", match);
  WriteField("offset", std::to_string(offset));
  WriteField("line", std::to_string(line));
  WriteField("line start", std::to_string(lineStart));
  for (std::size_t i = 1; i < groups; ++i) WriteField(("$" + std::to_string(i)).c_str(), group(i));
}

}  // namespace

void Reporter::Matched(TObject*, const CPPStringArray& parts, unsigned line, unsigned lineStart) {
  if (parts.size() <= kTrailingParts) return;
  const std::size_t groups = parts.size() - kTrailingParts;
  WriteMatch(parts[0], parts[groups + 1].size(), line, lineStart, groups,
             [&](std::size_t i) { return std::string_view(parts[i]); });
}

void Reporter::MatchedView(const MatchView& v) {
  WriteMatch(v.Str(0), v.Position(0), v.LineIndex(), v.StartOfLine(), v.Size(), [&](std::size_t i) { return v.Str(i); });
}

// Empty matches are not printed, as grep -o prints none.
void Reporter::GreppedView(const MatchView& v) {
  if (v.Length(0) == 0) return;
  WriteOut(GrepPrefix);
  WriteOut(std::to_string(v.LineIndex()));
  std::fputc(':', stdout);
  WriteLine(v.Str(0));
}

void Reporter::GreppedFileView(std::string_view file, const MatchView& v) {
  if (v.Length(0) == 0) return;
  WriteOut(file);
  std::fputc(':', stdout);
  WriteOut(std::to_string(v.Position(0)));
  std::fputc(':', stdout);
  WriteLine(v.Str(0));
}

void Reporter::CountedFile(std::string_view file) {
  if (fileCount_ > 0 && file != countedFile_) FlushFileCount();
  if (fileCount_ == 0) countedFile_ = file;
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
