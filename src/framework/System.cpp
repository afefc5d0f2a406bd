#include "RegexComponent/Framework/System.h"

#include <ostream>

namespace RegexComponent {

AnsiString::AnsiString(const char* text) {
  if (text && *text) text_ = std::make_shared<const std::string>(text);
}

AnsiString::AnsiString(const char* data, std::size_t length) {
  if (data && length) text_ = std::make_shared<const std::string>(data, length);
}

AnsiString::AnsiString(std::string_view text) : AnsiString(text.data(), text.size()) {}

AnsiString::AnsiString(const std::string& text) : AnsiString(text.data(), text.size()) {}

const char* AnsiString::c_str() const noexcept { return text_ ? text_->c_str() : ""; }

AnsiString& AnsiString::operator+=(const AnsiString& other) {
  if (other.IsEmpty()) return *this;
  if (IsEmpty()) return *this = other;
  // The buffer is shared and immutable: appending builds a new one.
  auto joined = std::make_shared<std::string>();
  joined->reserve(Length() + other.Length());
  joined->append(View()).append(other.View());
  text_ = std::move(joined);
  return *this;
}

std::ostream& operator<<(std::ostream& out, const AnsiString& text) { return out << text.View(); }

}  // namespace RegexComponent
