// Form files: the published properties of a component tree as text.
//
//   object Form1: TForm1
//     object Finder: RegularExpression
//       Expression = 'a(b)''c'#13#10'd'
//       OnSearching = FinderSearching
//     end
//   end
//
// Writing keeps a property only where its value differs from that of a newly
// constructed component of the same class; reading sets the named properties
// and leaves every other one as the target already has it. Loading is all or
// nothing: a file that fails to load leaves no component behind and the
// target's properties as they were. docs/forms.md describes the format.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "RegexComponent/Export.h"
#include "RegexComponent/Framework/Classes.h"

namespace RegexComponent {

// A form that cannot be read or written. Reading errors carry the 1-based
// line and column (in bytes) of the offending text; errors that have no
// place in a text (a handler that cannot be saved, a file that cannot be
// opened) carry line and column 0.
class RC_API EFormError : public std::runtime_error {
 public:
  EFormError(int line, int column, const std::string& message);

  int Line() const noexcept { return line_; }
  int Column() const noexcept { return column_; }
  // The message without its "line L, column C: " prefix.
  const std::string& Message() const noexcept { return message_; }

 private:
  int line_;
  int column_;
  std::string message_;
};

// Objects nested deeper than this are refused on reading and writing, so a
// hostile file cannot exhaust the stack.
inline constexpr int kMaxFormNesting = 256;

// The root and, nested, every component it owns. Events are saved by the
// names of the root's published methods.
RC_API std::string WriteComponentToText(const TComponent& root);
// Fills `root` from a text written by WriteComponentToText: the outer
// object's class must be root's class; owned components are created through
// their registered classes. Events bind to root's published methods.
RC_API void ReadComponentFromText(std::string_view text, TComponent& root);

// How a read treats event lines. A program that loads a form written by
// another application (a command-line tool, say) has none of that
// application's handlers; it can skip the events instead of failing.
struct RC_API TFormReadOptions {
  bool SkipEvents = false;
  // When set, receives "Component.OnEvent = Handler" for each skipped line.
  std::vector<std::string>* SkippedEvents = nullptr;
};

// One component on its own (with the components it owns). Events are saved
// by the names of the published methods of its owner, or of the component
// itself when it has no owner.
RC_API std::string WriteComponent(const TComponent& component);
// Creates the component a WriteComponent text describes, owned by `owner`
// (the caller deletes it when owner is null). Events bind to the owner's
// published methods, or to the new component's own without an owner.
RC_API TComponent* ReadComponent(std::string_view text, TComponent* owner, const TFormReadOptions& options = {});

// The same through files; a save replaces the file only once it is written.
RC_API void SaveFormFile(const std::string& path, const TComponent& root);
RC_API void LoadFormFile(const std::string& path, TComponent& root);
RC_API void SaveComponentFile(const std::string& path, const TComponent& component);
RC_API TComponent* LoadComponentFile(const std::string& path, TComponent* owner, const TFormReadOptions& options = {});

}  // namespace RegexComponent
