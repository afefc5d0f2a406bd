// `regexp grep --json`: one JSON object per line, modelled on ripgrep's:
// "begin" and "end" around each file, "match" for each selected line with
// its matches and their groups, and a closing "summary". Under -z the
// objects still end with line feeds; a record's "lines" keeps its NUL.
//
// External interface: GrepJsonPrinter.
#pragma once

#include <cstdint>
#include <string>

#include "GrepOptions.h"
#include "GrepOutput.h"
#include "GrepWriter.h"
#include "engine/match/LineMatcher.h"

namespace RegexComponent::tool {

class GrepJsonPrinter final : public GrepSink {
 public:
  GrepJsonPrinter(const GrepSettings& settings, const engine::LineMatcher& matcher, GrepWriter& out);

  bool NeedsEveryLine() const override { return false; }
  bool UsesLineMatches() const override { return false; }
  void Begin(const std::string& name, bool showName, int offsetWidth) override;
  bool Line(const engine::LineView& line, bool selected) override;
  bool Binary() override;
  std::uint64_t End() override;
  GrepTally Tally() const override { return {lines_, matches_, false}; }
  void Add(const GrepTally& file) override;
  // The totals over every file.
  void Summary();

 private:
  void Path();
  void Submatches(const engine::LineView& line);
  template <typename OnMatch>
  std::uint64_t ForEachMatch(const engine::LineView& line, OnMatch&& onMatch) const;
  void Span(const engine::LineView& line, const boost::csub_match& span);
  void Text(std::string_view text);
  void EndObject();

  const GrepSettings& s_;
  const engine::LineMatcher& matcher_;
  GrepWriter& out_;
  std::string name_;
  bool binary_ = false;
  bool stop_ = false;
  std::uint64_t lines_ = 0;
  std::uint64_t matches_ = 0;
  std::uint64_t searches_ = 0;
  std::uint64_t searchesWithMatch_ = 0;
  std::uint64_t totalLines_ = 0;
  std::uint64_t totalMatches_ = 0;
};

}  // namespace RegexComponent::tool
