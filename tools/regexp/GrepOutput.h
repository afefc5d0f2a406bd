// What `regexp grep` prints for the lines of one file after another: lines
// with their prefixes, context and group separators, -o parts, colours,
// counts and file names, in grep's formats.
//
// External interface: GrepTally, GrepSink, GrepPrinter.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "GrepOptions.h"
#include "GrepWriter.h"
#include "engine/match/LineMatcher.h"
#include "engine/search/LineSearch.h"

namespace RegexComponent::tool {

// What one file's output adds to the state that spans files.
struct GrepTally {
  std::uint64_t lines = 0;    // selected lines
  std::uint64_t matches = 0;  // matches counted for the JSON summary
  bool printedLines = false;  // a line was printed (a group separator may follow)
  // "binary file matches" was reported: as after printed lines, a group
  // separator comes before the next line printed.
  bool binaryMatched = false;
};

// A line sink that also hears where each file begins and ends.
//
// A file may be printed by another sink of the same settings into memory
// and copied to this sink's output later: LinesFollow comes before the
// copy of the file's first printed line, Add after the file's end.
class GrepSink : public engine::LineSink {
 public:
  // Whether unselected lines are needed (for context).
  virtual bool NeedsEveryLine() const = 0;
  // Whether selected lines had best come with their matches
  // (engine::LineView::matches), which only the parts of a line need.
  virtual bool UsesLineMatches() const = 0;
  // Starts a file: `name` as printed, `showName` for the prefix, and the
  // width of numbers under -T.
  virtual void Begin(const std::string& name, bool showName, int offsetWidth) = 0;
  // Ends the file; returns the number of selected lines.
  virtual std::uint64_t End() = 0;
  // What the current file has added so far (all of it after End).
  virtual GrepTally Tally() const = 0;
  // Lines printed elsewhere are copied to the output next.
  virtual void LinesFollow() {}
  // Counts in a file printed elsewhere.
  virtual void Add(const GrepTally&) {}

 protected:
  ~GrepSink() = default;
};

class GrepPrinter final : public GrepSink {
 public:
  GrepPrinter(const GrepSettings& settings, const engine::LineMatcher& matcher, GrepWriter& out,
              const GrepColors* colors);

  bool NeedsEveryLine() const override { return before_ > 0 || after_ > 0; }
  bool UsesLineMatches() const override { return s_.onlyMatching || colors_ != nullptr; }
  void Begin(const std::string& name, bool showName, int offsetWidth) override;
  bool Line(const engine::LineView& line, bool selected) override;
  bool Binary() override;
  // Prints the file's count or name as asked, and the binary-file notice.
  std::uint64_t End() override;
  GrepTally Tally() const override { return {selected_, 0, anyOutput_, BinaryMatched()}; }
  void Add(const GrepTally& file) override;
  // Prints the group separator due before lines of another file.
  void LinesFollow() override;
  // Each file is printed as though it came first: the separator between
  // its first group and earlier files' is left to LinesFollow.
  void PrintEachFileAlone() { alone_ = true; }

 private:
  struct HeldLine {
    std::string text;
    std::uint64_t number;
    std::uint64_t offset;
  };

  bool TrailingContext(const engine::LineView& line);
  bool BinaryMatched() const;
  void Hold(const engine::LineView& line);
  void PrintHeld();
  void PrintLine(const engine::LineView& line, char sep);
  void Separator(std::uint64_t number);
  void Head(std::uint64_t number, std::uint64_t offset, char sep, std::size_t length);
  const char* Middle(const engine::LineView& line, const std::string& lineColor,
                     const std::string& matchColor);
  const char* Tail(const char* from, const char* end, const std::string& lineColor);
  void PaintNumber(const std::string& sgr, std::uint64_t value);
  void PaintSep(char sep);
  void PaintName();
  void Paint(const std::string& sgr, std::string_view text);

  const GrepSettings& s_;
  const engine::LineMatcher& matcher_;
  GrepWriter& out_;
  const GrepColors* colors_;  // null without --color
  std::int64_t before_;
  std::int64_t after_;
  bool contextGiven_;
  bool listing_;         // -c, -l, -L or -q: no lines are printed
  bool doneOnMatch_;     // -l, -L or -q: the first selected line settles the file
  bool anyOutput_ = false;  // alone: in this file
  bool alone_ = false;

  std::string name_;
  bool showName_ = false;
  int offsetWidth_ = 0;
  std::uint64_t selected_ = 0;
  std::uint64_t lastPrinted_ = 0;  // number of the last line printed, 0: none yet
  std::int64_t afterLeft_ = 0;
  bool maxReached_ = false;
  bool quietFile_ = false;         // binary data: print no lines
  bool stopFile_ = false;          // binary data: stop at the first selected line
  bool binary_ = false;
  std::uint64_t selectedBeforeBinary_ = 0;
  std::deque<HeldLine> held_;      // up to before_ unselected lines
  boost::cmatch found_;            // the cursor's results, kept for their storage
};

}  // namespace RegexComponent::tool
