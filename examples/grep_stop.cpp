// Grep over a subject with an OnGrepping handler that stops the run by
// setting bcontinue to false: Grep then returns how many matches were
// reported, the one that stopped it included.
#include <cstdio>

#include <RegexComponent/RegularExpression.h>

using namespace RegexComponent;

namespace {

struct Form : TComponent {
  Form() : TComponent(nullptr) {}

  unsigned limit = 3;
  unsigned seen = 0;

  void Grepping(TObject*, const CPPStringArray& parts, unsigned line, unsigned lineStart, bool& bcontinue) {
    ++seen;
    std::printf("  %u: line %u (starts at %u): %s\n", seen, line, lineStart, parts[0].c_str());
    if (seen == limit) bcontinue = false;
  }
};

}  // namespace

int main() {
  Form form;
  auto* re = new RegularExpression(&form);
  re->Expression = "\\d+ ms";
  re->StringToMatch =
      "GET /       12 ms\n"
      "GET /about  40 ms\n"
      "GET /search 310 ms\n"
      "GET /login  18 ms\n"
      "GET /logout 9 ms\n";

  std::printf("Grep() without a handler counts: %u\n", re->Grep());

  re->OnGrepping = Bind(&form, &Form::Grepping);
  std::printf("Grep() stopping after %u matches:\n", form.limit);
  const unsigned reported = re->Grep();
  std::printf("Grep() returned %u\n", reported);
  return reported == form.limit ? 0 : 1;
}
