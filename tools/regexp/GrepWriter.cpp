#include "GrepWriter.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "ToolError.h"

namespace RegexComponent::tool {

namespace {

void WriteAll(const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(STDOUT_FILENO, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EPIPE) throw OutputClosed{};
    if (n <= 0) throw ToolError(std::string("write error: ") + std::strerror(errno));
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

}  // namespace

GrepWriter::GrepWriter() : buffer_(new char[kCapacity]) {}

GrepWriter::GrepWriter(GrepCapture& capture) : GrepWriter() { capture_ = &capture; }

GrepWriter::~GrepWriter() { delete[] buffer_; }

void GrepWriter::Flush() {
  const std::size_t used = used_;
  used_ = 0;
  if (capture_)
    capture_->out.append(buffer_, used);
  else
    WriteAll(buffer_, used);
}

// Standard output goes first, so that the two streams interleave as they
// were written.
void GrepWriter::Warn(std::string_view line) {
  Flush();
  if (capture_) {
    capture_->notes.push_back({capture_->out.size(), std::string(line)});
    return;
  }
  std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
}

void GrepWriter::Replay(const GrepCapture& capture) {
  const std::string_view out = capture.out;
  std::size_t done = 0;
  for (const GrepCapture::Note& note : capture.notes) {
    Write(out.substr(done, note.at - done));
    done = note.at;
    Warn(note.line);
  }
  Write(out.substr(done));
}

void GrepWriter::WriteLong(std::string_view text) {
  Flush();
  if (text.size() >= kCapacity) {
    if (capture_)
      capture_->out.append(text);
    else
      WriteAll(text.data(), text.size());
    return;
  }
  text.copy(buffer_, text.size());
  used_ = text.size();
}

void GrepWriter::Number(std::uint64_t value, int width) {
  char digits[24];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0);
  for (int pad = width - n; pad > 0; --pad) Put(' ');
  while (n > 0) Put(digits[--n]);
}

void GrepColors::Start(GrepWriter& out, const std::string& sgr) const {
  if (sgr.empty()) return;
  out.Write("\33[");
  out.Write(sgr);
  out.Write(eraseLine ? "m\33[K" : "m");
}

void GrepColors::End(GrepWriter& out, const std::string& sgr) const {
  if (sgr.empty()) return;
  out.Write(eraseLine ? "\33[m\33[K" : "\33[m");
}

void GrepColors::Paint(GrepWriter& out, const std::string& sgr, std::string_view text) const {
  Start(out, sgr);
  out.Write(text);
  End(out, sgr);
}

namespace {

struct ColorKey {
  const char* name;
  std::string GrepColors::*field;
};

const ColorKey kKeys[] = {
    {"ms", &GrepColors::selectedMatch}, {"mc", &GrepColors::contextMatch}, {"sl", &GrepColors::selectedLine},
    {"cx", &GrepColors::contextLine},   {"fn", &GrepColors::fileName},     {"ln", &GrepColors::lineNumber},
    {"bn", &GrepColors::byteOffset},    {"se", &GrepColors::separator},
};

// One "key=value" or "flag" entry; false stops the parse, as grep stops at
// the first entry it does not understand.
bool ApplyEntry(GrepColors& colors, std::string_view entry) {
  const std::size_t eq = entry.find('=');
  const std::string_view key = entry.substr(0, eq);
  if (eq == std::string_view::npos) {
    if (key == "rv") colors.reverse = true;
    else if (key == "ne") colors.eraseLine = false;
    else return false;
    return true;
  }
  const std::string value(entry.substr(eq + 1));
  if (value.find_first_not_of("0123456789;") != std::string::npos) return false;
  if (key == "mt") {
    colors.selectedMatch = colors.contextMatch = value;
    return true;
  }
  for (const ColorKey& k : kKeys)
    if (key == k.name) {
      colors.*(k.field) = value;
      return true;
    }
  return false;
}

}  // namespace

GrepColors ParseGrepColors(const char* value) {
  GrepColors colors;
  if (!value) return colors;
  std::string_view rest(value);
  while (!rest.empty()) {
    const std::size_t colon = rest.find(':');
    if (!ApplyEntry(colors, rest.substr(0, colon))) break;
    if (colon == std::string_view::npos) break;
    rest.remove_prefix(colon + 1);
  }
  return colors;
}

}  // namespace RegexComponent::tool
