// Buffered standard output and the colours of `regexp grep`.
//
// External interface: OutputClosed, GrepCapture, GrepWriter, GrepColors,
// ParseGrepColors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace RegexComponent::tool {

// Thrown when the reader of standard output has gone away: the search stops
// without a message.
struct OutputClosed {};

// Output held in memory to be written later: the bytes for standard output
// and the lines for standard error, each at its place among the bytes.
struct GrepCapture {
  struct Note {
    std::size_t at;  // after out[0, at)
    std::string line;
  };
  std::string out;
  std::vector<Note> notes;

  bool Empty() const { return out.empty() && notes.empty(); }
  void Clear() {
    out.clear();
    notes.clear();
  }
};

// Writes to file descriptor 1 through a buffer of its own, or into a
// capture. A failed write throws OutputClosed for a closed pipe and
// ToolError otherwise.
class GrepWriter {
 public:
  GrepWriter();
  explicit GrepWriter(GrepCapture& capture);
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
  // `line` and a line feed on standard error, after what was written so far.
  void Warn(std::string_view line);
  // Writes what `capture` holds, bytes and lines in their order.
  void Replay(const GrepCapture& capture);
  // Bytes written since the capture was last emptied (0 without capture).
  std::size_t Captured() const { return capture_ ? capture_->out.size() + used_ : 0; }

 private:
  static constexpr std::size_t kCapacity = std::size_t{1} << 16;
  void WriteLong(std::string_view text);

  char* buffer_;
  std::size_t used_ = 0;
  GrepCapture* capture_ = nullptr;
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
