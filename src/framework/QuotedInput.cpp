#include "RegexComponent/Framework/QuotedInput.h"

namespace RegexComponent {

namespace {

constexpr std::string_view kEllipsis = "\xE2\x80\xA6";
// The longest UTF-8 sequence has three continuation bytes after its lead.
constexpr std::size_t kMaxContinuationBytes = 3;

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

std::string CutQuotedInput(std::string_view input, std::size_t limit) {
  if (input.size() <= limit) return std::string(input);
  // Back up to the start of a sequence the cut would split; text in another
  // encoding loses at most a few bytes more.
  std::size_t cut = limit;
  for (std::size_t n = 0; n < kMaxContinuationBytes && cut > 0 && IsContinuationByte(input[cut]); ++n) --cut;
  std::string out(input.substr(0, cut));
  out += kEllipsis;
  return out;
}

}  // namespace RegexComponent
