#include "GrepOutput.h"

namespace RegexComponent::tool {

namespace {

constexpr char kSelectedSep = ':';
constexpr char kContextSep = '-';

const std::string kNoColor;

}  // namespace

GrepPrinter::GrepPrinter(const GrepSettings& s, const engine::LineMatcher& matcher, GrepWriter& out,
                         const GrepColors* colors)
    : s_(s),
      matcher_(matcher),
      out_(out),
      colors_(colors),
      before_(s.before < 0 ? 0 : s.before),
      after_(s.after < 0 ? 0 : s.after),
      contextGiven_(s.before >= 0 || s.after >= 0),
      listing_(s.count || s.quiet || s.listFiles != ListFiles::None),
      doneOnMatch_(s.quiet || s.listFiles != ListFiles::None) {}

void GrepPrinter::Begin(const std::string& name, bool showName, int offsetWidth) {
  name_ = name;
  showName_ = showName;
  offsetWidth_ = offsetWidth;
  selected_ = lastPrinted_ = 0;
  afterLeft_ = 0;
  maxReached_ = quietFile_ = stopFile_ = binary_ = false;
  selectedBeforeBinary_ = 0;
  held_.clear();
  if (alone_) anyOutput_ = false;
}

// Binary data prints no lines: the file stops at its first selected line
// and End says it matched. A count goes on counting.
bool GrepPrinter::Binary() {
  if (s_.binaryFiles == BinaryFiles::WithoutMatch) {
    selected_ = 0;
    return false;
  }
  binary_ = true;
  selectedBeforeBinary_ = selected_;
  if (!s_.count) quietFile_ = stopFile_ = true;
  return true;
}

bool GrepPrinter::Line(const engine::LineView& line, bool selected) {
  // -m 0 (here only with -L) selects no line, so -L lists the file.
  if (s_.maxCount == 0) return false;
  if (maxReached_) return TrailingContext(line);
  if (!selected) {
    if (afterLeft_ > 0) {
      PrintLine(line, kContextSep);
      --afterLeft_;
    } else if (before_ > 0) {
      Hold(line);
    }
    return true;
  }
  ++selected_;
  if (!listing_ && !quietFile_) {
    PrintHeld();
    PrintLine(line, kSelectedSep);
    afterLeft_ = after_;
  }
  if (doneOnMatch_ || stopFile_) return false;
  if (s_.maxCount >= 0 && static_cast<std::uint64_t>(s_.maxCount) <= selected_) {
    maxReached_ = true;
    return !listing_ && !quietFile_ && afterLeft_ > 0;
  }
  return true;
}

// After the last selected line -m allows, the lines after it are printed
// as context, whether they match or not.
bool GrepPrinter::TrailingContext(const engine::LineView& line) {
  PrintLine(line, kContextSep);
  return --afterLeft_ > 0;
}

void GrepPrinter::Hold(const engine::LineView& line) {
  if (static_cast<std::int64_t>(held_.size()) == before_) {
    // Reuse the oldest line's storage for the newest.
    held_.push_back(std::move(held_.front()));
    held_.pop_front();
  } else {
    held_.emplace_back();
  }
  HeldLine& held = held_.back();
  held.text.assign(line.begin, line.end);
  held.number = line.number;
  held.offset = line.offset;
}

void GrepPrinter::PrintHeld() {
  for (const HeldLine& held : held_) {
    const char* begin = held.text.data();
    PrintLine(engine::LineView{begin, begin + held.text.size(), held.number, held.offset, true}, kContextSep);
  }
  held_.clear();
}

void GrepPrinter::LinesFollow() {
  lastPrinted_ = 0;
  Separator(1);
  anyOutput_ = true;
}

// The separator ends with a line feed even where printed lines end with
// NUL (-z), as grep's does.
void GrepPrinter::Separator(std::uint64_t number) {
  if (!contextGiven_ || !anyOutput_ || !s_.groupSeparator) return;
  if (lastPrinted_ != 0 && number == lastPrinted_ + 1) return;
  Paint(colors_ ? colors_->separator : kNoColor, *s_.groupSeparator);
  out_.Put('\n');
}

// One line in grep's layout: the prefix, then the line with its matches
// coloured, or with -o each match on a line of its own; each ended by the
// terminator the input's lines end with (a NUL under -z).
void GrepPrinter::PrintLine(const engine::LineView& line, char sep) {
  Separator(line.number);
  anyOutput_ = true;
  lastPrinted_ = line.number;
  if (!s_.onlyMatching) Head(line.number, line.offset, sep, static_cast<std::size_t>(line.end - line.begin));
  const bool matching = (sep == kSelectedSep) != s_.invert;
  const bool selectedColors = (sep == kSelectedSep) != (s_.invert && colors_ && colors_->reverse);
  const std::string& lineColor =
      colors_ ? (selectedColors ? colors_->selectedLine : colors_->contextLine) : kNoColor;
  const std::string& matchColor =
      colors_ ? (sep == kSelectedSep ? colors_->selectedMatch : colors_->contextMatch) : kNoColor;
  const char* rest = line.begin;
  if ((s_.onlyMatching && matching) || !lineColor.empty() || !matchColor.empty()) {
    if (matching && (s_.onlyMatching || !matchColor.empty())) rest = Middle(line, lineColor, matchColor);
    if (!s_.onlyMatching && !lineColor.empty()) rest = Tail(rest, line.end, lineColor);
  }
  if (!s_.onlyMatching) {
    out_.Write(std::string_view(rest, static_cast<std::size_t>(line.end - rest)));
    out_.Put(s_.terminator);
  }
  if (s_.lineBuffered) out_.Flush();
}

void GrepPrinter::Head(std::uint64_t number, std::uint64_t offset, char sep, std::size_t length) {
  if (showName_) {
    PaintName();
    if (s_.nullAfterName)
      out_.Put('\0');
    else
      PaintSep(sep);
  }
  if (s_.lineNumber) {
    PaintNumber(colors_ ? colors_->lineNumber : kNoColor, number);
    PaintSep(sep);
  }
  if (s_.byteOffset) {
    PaintNumber(colors_ ? colors_->byteOffset : kNoColor, offset);
    PaintSep(sep);
  }
  if (s_.initialTab && (showName_ || s_.lineNumber || s_.byteOffset) && length != 0) out_.Put('\t');
}

// Prints the line up to its last non-empty match, each match painted, and
// returns where the unprinted rest begins. An empty match prints nothing;
// the search goes on one byte further.
const char* GrepPrinter::Middle(const engine::LineView& line, const std::string& lineColor,
                                const std::string& matchColor) {
  const char* cur = line.begin;
  const char* mid = nullptr;
  // The matches the search handed over, or else the cursor's.
  std::size_t known = 0;
  engine::LineMatchCursor cursor(matcher_, line.begin, line.end);
  while (known < line.matches.size() || (line.matches.empty() && cursor.Next(found_))) {
    const engine::LineMatch match = known < line.matches.size() ? line.matches[known++]
                                                                : engine::LineMatch{found_[0].first, found_[0].second};
    const char* b = match.begin;
    const auto size = static_cast<std::size_t>(match.end - match.begin);
    if (size == 0) {
      if (!mid) mid = cur;
      cur = b + 1;
      continue;
    }
    if (s_.onlyMatching) {
      Head(line.number, line.offset + static_cast<std::uint64_t>(b - line.begin),
           s_.invert ? kContextSep : kSelectedSep, size);
    } else {
      if (colors_) colors_->Start(out_, lineColor);
      if (mid) cur = std::exchange(mid, nullptr);
      out_.Write(std::string_view(cur, static_cast<std::size_t>(b - cur)));
    }
    Paint(matchColor, std::string_view(b, size));
    if (s_.onlyMatching) out_.Put(s_.terminator);
    cur = b + size;
  }
  if (s_.onlyMatching) return line.end;
  return mid ? mid : cur;
}

// The rest of the line in the line colour, a final carriage return left out.
const char* GrepPrinter::Tail(const char* from, const char* end, const std::string& lineColor) {
  const char* stop = end > from && end[-1] == '\r' ? end - 1 : end;
  if (stop <= from) return from;
  Paint(lineColor, std::string_view(from, static_cast<std::size_t>(stop - from)));
  return stop;
}

std::uint64_t GrepPrinter::End() {
  if (s_.count && s_.listFiles == ListFiles::None && !s_.quiet) {
    if (showName_) {
      PaintName();
      if (s_.nullAfterName)
        out_.Put('\0');
      else
        PaintSep(kSelectedSep);
    }
    out_.Number(selected_);
    out_.Put('\n');
  }
  const bool listed = (s_.listFiles == ListFiles::Matching && selected_ > 0) ||
                      (s_.listFiles == ListFiles::NonMatching && selected_ == 0);
  if (listed && !s_.quiet) {
    PaintName();
    out_.Put(s_.nullAfterName ? '\0' : '\n');
  }
  if (s_.lineBuffered && (s_.count || listed)) out_.Flush();
  if (BinaryMatched()) {
    out_.Warn("regexp: " + name_ + ": binary file matches");
    // grep separates the next group from the report as from lines; a file
    // printed alone passes that on in its tally (Add).
    if (!alone_) anyOutput_ = true;
  }
  return selected_;
}

bool GrepPrinter::BinaryMatched() const { return binary_ && !listing_ && selected_ > selectedBeforeBinary_; }

void GrepPrinter::Add(const GrepTally& file) {
  if (file.binaryMatched) anyOutput_ = true;
}

void GrepPrinter::Paint(const std::string& sgr, std::string_view text) {
  if (colors_)
    colors_->Paint(out_, sgr, text);
  else
    out_.Write(text);
}

void GrepPrinter::PaintNumber(const std::string& sgr, std::uint64_t value) {
  if (colors_) colors_->Start(out_, sgr);
  out_.Number(value, offsetWidth_);
  if (colors_) colors_->End(out_, sgr);
}

void GrepPrinter::PaintSep(char sep) { Paint(colors_ ? colors_->separator : kNoColor, std::string_view(&sep, 1)); }

void GrepPrinter::PaintName() { Paint(colors_ ? colors_->fileName : kNoColor, name_); }

}  // namespace RegexComponent::tool
