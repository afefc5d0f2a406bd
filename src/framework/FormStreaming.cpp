// The public form entry points: each joins the parser and the builder, or
// the writer, and the file I/O.
#include "RegexComponent/Framework/FormStreaming.h"

#include "FormBuilder.h"
#include "FormFiles.h"
#include "FormParser.h"
#include "FormWriter.h"

namespace RegexComponent {

EFormError::EFormError(int line, int column, const std::string& message)
    : std::runtime_error(line > 0 ? "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " +
                                        message
                                  : message),
      line_(line),
      column_(column),
      message_(message) {}

std::string WriteComponentToText(const TComponent& root) { return form::WriteForm(root, root); }

std::string WriteComponent(const TComponent& component) {
  const TComponent* owner = component.GetOwner();
  return form::WriteForm(component, owner ? *owner : component);
}

void ReadComponentFromText(std::string_view text, TComponent& root) {
  form::FillRoot(root, form::ParseForm(text, root.ClassType()));
}

TComponent* ReadComponent(std::string_view text, TComponent* owner, const TFormReadOptions& options) {
  return form::BuildComponent(form::ParseForm(text, nullptr), owner, options).release();
}

void SaveFormFile(const std::string& path, const TComponent& root) {
  form::WriteFormFile(path, WriteComponentToText(root));
}

void LoadFormFile(const std::string& path, TComponent& root) {
  ReadComponentFromText(form::ReadFormFile(path), root);
}

void SaveComponentFile(const std::string& path, const TComponent& component) {
  form::WriteFormFile(path, WriteComponent(component));
}

TComponent* LoadComponentFile(const std::string& path, TComponent* owner, const TFormReadOptions& options) {
  return ReadComponent(form::ReadFormFile(path), owner, options);
}

}  // namespace RegexComponent
