// Buffered standard output and the colours of `regexp grep`.
//
// External interface: OutputClosed, GrepWriter, GrepColors, ParseGrepColors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace RegexComponent::tool {

// Thrown when the reader of standard output has gone away: the search stops
// without a message.
struct OutputClosed {};

// Writes to file descriptor 1 through a buffer of its own. A failed write
// throws OutputClosed for a closed pipe and ToolError otherwise.
class GrepWriter {
 public:
  GrepWriter();
  ~GrepWriter();
  GrepWriter(const GrepWriter&) = delete;
  GrepWriter& operator=(const GrepWriter&) = delete;

  void Write(std::string_view text) {
    if (text.size() > kCapacity - used_) return WriteLong(text);
    text.copy(buffer_ + used_, text.size());
    used_ += text.size();
  }
  void Put(char c) {
    if (used_ == kCapacity) Flush();
    buffer_[used_++] = c;
  }
  void Number(std::uint64_t value, int width = 0);
  void Flush();

 private:
  static constexpr std::size_t kCapacity = std::size_t{1} << 16;
  void WriteLong(std::string_view text);

  char* buffer_;
  std::size_t used_ = 0;
};

// SGR parameters of each part of the output, empty for no colour.
struct GrepColors {
  std::string selectedMatch = "01;31";  // ms
  std::string contextMatch = "01;31";   // mc
  std::string selectedLine;             // sl
  std::string contextLine;              // cx
  std::string fileName = "35";          // fn
  std::string lineNumber = "32";        // ln
  std::string byteOffset = "32";        // bn
  std::string separator = "36";         // se
  bool reverse = false;                 // rv: swap sl and cx with -v
  bool eraseLine = true;                // cleared by ne

  // Writes `text` between the start and end sequences of `sgr`, or plain
  // when `sgr` is empty.
  void Paint(GrepWriter& out, const std::string& sgr, std::string_view text) const;
  void Start(GrepWriter& out, const std::string& sgr) const;
  void End(GrepWriter& out, const std::string& sgr) const;
};

// The defaults changed by a GREP_COLORS value such as "ms=01;32:fn=34:ne";
// unknown or malformed entries are ignored, as grep ignores them.
GrepColors ParseGrepColors(const char* value);

}  // namespace RegexComponent::tool
