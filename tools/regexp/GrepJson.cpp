#include "GrepJson.h"

#include <cstdio>

namespace RegexComponent::tool {

namespace {

// Length of the valid UTF-8 sequence at `p`, or 0.
std::size_t Utf8Length(const unsigned char* p, const unsigned char* end) {
  if (p[0] < 0x80) return 1;
  std::size_t length;
  unsigned char low = 0x80, high = 0xBF;
  if (p[0] >= 0xC2 && p[0] <= 0xDF) length = 2;
  else if (p[0] >= 0xE0 && p[0] <= 0xEF) length = 3;
  else if (p[0] >= 0xF0 && p[0] <= 0xF4) length = 4;
  else return 0;
  // Overlong forms, surrogates and code points past U+10FFFF are invalid.
  if (p[0] == 0xE0) low = 0xA0;
  if (p[0] == 0xED) high = 0x9F;
  if (p[0] == 0xF0) low = 0x90;
  if (p[0] == 0xF4) high = 0x8F;
  if (static_cast<std::size_t>(end - p) < length || p[1] < low || p[1] > high) return 0;
  for (std::size_t i = 2; i < length; ++i)
    if (p[i] < 0x80 || p[i] > 0xBF) return 0;
  return length;
}

bool IsUtf8(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    const std::size_t n = Utf8Length(p, end);
    if (n == 0) return false;
    p += n;
  }
  return true;
}

void Escaped(GrepWriter& out, std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  out.Put('"');
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out.Put('\\');
      out.Put(c);
    } else if (c == '\n') {
      out.Write("\\n");
    } else if (c == '\t') {
      out.Write("\\t");
    } else if (c == '\r') {
      out.Write("\\r");
    } else if (u < 0x20 || u == 0x7F) {
      out.Write("\\u00");
      out.Put(kHex[u >> 4]);
      out.Put(kHex[u & 15]);
    } else {
      out.Put(c);
    }
  }
  out.Put('"');
}

void Base64(GrepWriter& out, std::string_view text) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  out.Put('"');
  for (std::size_t i = 0; i < text.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, text.size() - i);
    std::uint32_t bits = 0;
    for (std::size_t k = 0; k < 3; ++k)
      bits = (bits << 8) | (k < n ? static_cast<unsigned char>(text[i + k]) : 0u);
    for (std::size_t k = 0; k < 4; ++k) out.Put(k <= n ? kDigits[(bits >> (18 - 6 * k)) & 63] : '=');
  }
  out.Put('"');
}

}  // namespace

GrepJsonPrinter::GrepJsonPrinter(const GrepSettings& s, const engine::LineMatcher& matcher, GrepWriter& out)
    : s_(s), matcher_(matcher), out_(out) {}

// A string as ripgrep writes one: {"text": ...} when it is valid UTF-8,
// otherwise {"bytes": base64}.
void GrepJsonPrinter::Text(std::string_view text) {
  if (IsUtf8(text)) {
    out_.Write("{\"text\":");
    Escaped(out_, text);
  } else {
    out_.Write("{\"bytes\":");
    Base64(out_, text);
  }
  out_.Put('}');
}

void GrepJsonPrinter::Path() {
  out_.Write("\"path\":");
  Text(name_);
}

void GrepJsonPrinter::EndObject() {
  out_.Write("}}\n");
  if (s_.lineBuffered) out_.Flush();
}

void GrepJsonPrinter::Begin(const std::string& name, bool, int) {
  name_ = name;
  binary_ = stop_ = false;
  lines_ = matches_ = 0;
  out_.Write("{\"type\":\"begin\",\"data\":{");
  Path();
  EndObject();
}

// Binary data is searched as grep searches it, but its lines are not
// printed: the file ends at its first selected line.
bool GrepJsonPrinter::Binary() {
  binary_ = true;
  return s_.binaryFiles != BinaryFiles::WithoutMatch;
}

bool GrepJsonPrinter::Line(const engine::LineView& line, bool) {
  ++lines_;
  if (binary_) {
    // The line goes unprinted, but its matches count as a printed line's
    // do, so that "matches" agrees with "matched_lines".
    if (!s_.invert) matches_ += ForEachMatch(line, [](const boost::cmatch&, std::uint64_t) {});
    return false;
  }
  out_.Write("{\"type\":\"match\",\"data\":{");
  Path();
  out_.Write(",\"lines\":");
  std::string_view text(line.begin, static_cast<std::size_t>(line.end - line.begin) + (line.terminated ? 1 : 0));
  Text(text);
  out_.Write(",\"line_number\":");
  out_.Number(line.number);
  out_.Write(",\"absolute_offset\":");
  out_.Number(line.offset);
  out_.Write(",\"submatches\":[");
  if (!s_.invert) Submatches(line);
  out_.Put(']');
  EndObject();
  return s_.maxCount < 0 || lines_ < static_cast<std::uint64_t>(s_.maxCount);
}

// One span: {"match":TEXT,"start":S,"end":E}, offsets from the line's start.
void GrepJsonPrinter::Span(const engine::LineView& line, const boost::csub_match& span) {
  out_.Write("{\"match\":");
  Text(std::string_view(span.first, static_cast<std::size_t>(span.length())));
  out_.Write(",\"start\":");
  out_.Number(static_cast<std::uint64_t>(span.first - line.begin));
  out_.Write(",\"end\":");
  out_.Number(static_cast<std::uint64_t>(span.second - line.begin));
}

// Calls `onMatch` with each non-empty match in the line, left to right; an
// empty match is stepped over by one byte. Returns how many there were.
template <typename OnMatch>
std::uint64_t GrepJsonPrinter::ForEachMatch(const engine::LineView& line, OnMatch&& onMatch) const {
  boost::cmatch match;
  std::uint64_t count = 0;
  for (const char* cur = line.begin; cur <= line.end && matcher_.Find(line.begin, line.end, cur, match);) {
    if (match.length(0) == 0) {
      cur = match[0].first + 1;
      continue;
    }
    onMatch(match, count++);
    cur = match[0].second;
  }
  return count;
}

// Every non-empty match in the line, each with its groups (null for a group
// that took no part).
void GrepJsonPrinter::Submatches(const engine::LineView& line) {
  matches_ += ForEachMatch(line, [&](const boost::cmatch& match, std::uint64_t index) {
    if (index > 0) out_.Put(',');
    Span(line, match[0]);
    out_.Write(",\"groups\":[");
    for (std::size_t i = 1; i < match.size(); ++i) {
      if (i > 1) out_.Put(',');
      if (!match[i].matched) {
        out_.Write("null");
        continue;
      }
      Span(line, match[i]);
      out_.Put('}');
    }
    out_.Write("]}");
  });
}

void GrepJsonPrinter::Add(const GrepTally& file) {
  ++searches_;
  if (file.lines > 0) ++searchesWithMatch_;
  totalLines_ += file.lines;
  totalMatches_ += file.matches;
}

std::uint64_t GrepJsonPrinter::End() {
  if (s_.binaryFiles == BinaryFiles::WithoutMatch && binary_) lines_ = matches_ = 0;
  Add(Tally());
  out_.Write("{\"type\":\"end\",\"data\":{");
  Path();
  out_.Write(binary_ ? ",\"binary\":true" : ",\"binary\":false");
  out_.Write(",\"stats\":{\"matched_lines\":");
  out_.Number(lines_);
  out_.Write(",\"matches\":");
  out_.Number(matches_);
  out_.Put('}');
  EndObject();
  return lines_;
}

void GrepJsonPrinter::Summary() {
  out_.Write("{\"type\":\"summary\",\"data\":{\"stats\":{\"searches\":");
  out_.Number(searches_);
  out_.Write(",\"searches_with_match\":");
  out_.Number(searchesWithMatch_);
  out_.Write(",\"matched_lines\":");
  out_.Number(totalLines_);
  out_.Write(",\"matches\":");
  out_.Number(totalMatches_);
  out_.Put('}');
  EndObject();
}

}  // namespace RegexComponent::tool
