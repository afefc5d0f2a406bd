#include "engine/expression/GnuBasic.h"

namespace RegexComponent::engine {

namespace {

constexpr std::string_view kExtendedSpecial = "(){}|+?*.[]^$\\";
// Escapes that mean the same in GNU's basic syntax and Boost's extended one.
constexpr std::string_view kKeptEscapes = "123456789<>bBwWsS`'.*[]^$\\";

class Respeller {
 public:
  explicit Respeller(std::string_view text) : text_(text) { out_.reserve(text.size() + 8); }

  std::string Run() {
    bool start = true;  // at the start of an expression: * and ^ behave so
    while (pos_ < text_.size()) start = Token(start);
    return std::move(out_);
  }

 private:
  bool At(std::size_t at, char c) const { return at < text_.size() && text_[at] == c; }

  // Whether an expression ends at `at`: the text's end, \) or \|.
  bool EndsExpression(std::size_t at) const {
    return at >= text_.size() || (At(at, '\\') && (At(at + 1, ')') || At(at + 1, '|')));
  }

  void Literal(char c) {
    if (kExtendedSpecial.find(c) != std::string_view::npos) out_ += '\\';
    out_ += c;
  }

  // Copies one token; returns whether the next one starts an expression.
  bool Token(bool start) {
    const char c = text_[pos_++];
    switch (c) {
      case '\\': return Escape();
      case '[': Bracket(); return false;
      case '^':
        if (start) {
          out_ += '^';
          return true;
        }
        Literal(c);
        return false;
      case '$':
        if (EndsExpression(pos_)) out_ += '$';
        else Literal(c);
        return false;
      case '*':
        if (start) Literal(c);
        else out_ += '*';
        return false;
      default:
        // ( ) { } | + ? are plain characters here and operators there.
        if (std::string_view("(){}|+?").find(c) != std::string_view::npos) out_ += '\\';
        out_ += c;
        return false;
    }
  }

  bool Escape() {
    if (pos_ >= text_.size()) {
      out_ += '\\';  // a trailing backslash stays an error
      return false;
    }
    const char d = text_[pos_++];
    switch (d) {
      case '(': case '|':
        out_ += d;
        return true;
      case ')': case '{': case '}': case '+': case '?':
        out_ += d;
        return false;
      default:
        break;
    }
    if (kKeptEscapes.find(d) != std::string_view::npos) {
      out_ += '\\';
      out_ += d;
    } else {
      Literal(d);
    }
    return false;
  }

  // Copies a bracket expression up to its closing ']', which is literal
  // when it comes first; [:x:], [=x=] and [.x.] are single items.
  void Bracket() {
    out_ += '[';
    if (At(pos_, '^')) out_ += text_[pos_++];
    if (At(pos_, ']')) out_ += text_[pos_++];
    while (pos_ < text_.size()) {
      const char c = text_[pos_];
      if (c == ']') {
        out_ += text_[pos_++];
        return;
      }
      if (c == '[' && (At(pos_ + 1, ':') || At(pos_ + 1, '=') || At(pos_ + 1, '.'))) {
        const char delimiter = text_[pos_ + 1];
        const std::size_t close = text_.find(std::string{delimiter, ']'}, pos_ + 2);
        const std::size_t end = close == std::string_view::npos ? text_.size() : close + 2;
        out_.append(text_.substr(pos_, end - pos_));
        pos_ = end;
        continue;
      }
      out_ += text_[pos_++];
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  std::string out_;
};

}  // namespace

std::string GnuBasicToExtended(std::string_view pattern) { return Respeller(pattern).Run(); }

}  // namespace RegexComponent::engine
