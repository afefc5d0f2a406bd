// The component's events: OnSearching after a Search, OnMatching after a
// Match or MatchAll, each with the match's parts, its line number and the
// offset where that line starts.
#include <cstdio>

#include <RegexComponent/RegularExpression.h>

using namespace RegexComponent;

namespace {

struct Form : TComponent {
  Form() : TComponent(nullptr) {}

  void Report(const char* event, const CPPStringArray& parts, unsigned line, unsigned lineStart) {
    // parts: the whole match, each sub-expression, "", the text before the
    // match and the text after it.
    const std::size_t groups = parts.size() - 3;
    std::printf("%s: \"%s\" on line %u (line starts at byte %u, match at byte %zu)\n", event, parts[0].c_str(),
                line, lineStart, parts[groups + 1].size());
    for (std::size_t i = 1; i < groups; ++i) std::printf("    $%zu = \"%s\"\n", i, parts[i].c_str());
  }
  void Searching(TObject*, const CPPStringArray& parts, unsigned line, unsigned lineStart) {
    Report("OnSearching", parts, line, lineStart);
  }
  void Matching(TObject*, const CPPStringArray& parts, unsigned line, unsigned lineStart) {
    Report("OnMatching", parts, line, lineStart);
  }
};

}  // namespace

int main() {
  Form form;
  auto* re = new RegularExpression(&form);  // owned by the form
  re->OnSearching = Bind(&form, &Form::Searching);
  re->OnMatching = Bind(&form, &Form::Matching);

  re->Expression = "(\\w+)=(\\d+)";
  re->StringToMatch = "# settings\nwidth=640\nheight=480\n";
  std::printf("Search() = %d\n", re->Search());
  std::printf("Match() = %d (the subject starts with '#', so no event)\n", re->Match());

  re->Expression = "#\\s*(\\w+)";
  std::printf("Match() = %d\n", re->Match());

  re->Expression = "(?:(\\w+)=(\\d+)\\n|#[^\\n]*\\n)+";
  std::printf("MatchAll() = %d\n", re->MatchAll());

  // Parts stay available after the event through GetMatchingStrings.
  const CPPStringArray parts = re->GetMatchingStrings();
  std::printf("after MatchAll: %zu parts, last group $1 = \"%s\"\n", parts.size(), parts[1].c_str());
  return 0;
}
