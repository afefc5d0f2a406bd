// Offsets past 4 GiB on a sparse 5 GiB file: GrepFiles' 32-bit Positions
// read 0xFFFFFFFF where the offset does not fit, never a wrapped value, and
// ForEachFileMatch gives the true 64-bit offsets, lines and line starts.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include <RegexComponent/RegularExpressionCustom.h>

#include "TempFileTree.h"

using namespace RegexComponent;
using RE = RegularExpressionCustom;
using RegexComponent::testing::TempFileTree;

namespace {

constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;
// Each marker begins a line: a line feed precedes it.
const std::uint64_t kMarkers[] = {1000, 4 * kGiB + 1000, 5 * kGiB - 100};

// Makes the sparse file; false when the file system cannot hold it cheaply.
bool MakeSparseFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) return false;
  bool ok = ::ftruncate(fd, static_cast<off_t>(5 * kGiB)) == 0;
  for (std::uint64_t at : kMarkers) ok = ok && ::pwrite(fd, "\nMARK", 5, static_cast<off_t>(at - 1)) == 5;
  struct stat info {};
  ok = ok && ::fstat(fd, &info) == 0 && static_cast<std::uint64_t>(info.st_blocks) * 512 < kGiB;
  ::close(fd);
  return ok;
}

TEST(LargeOffsets, PositionsPastFourGiBSaturateInEventsAndStayTrueInViews) {
  TempFileTree tree;
  const std::string path = tree.Path("sparse.bin");
  if (!MakeSparseFile(path)) GTEST_SKIP() << "no sparse 5 GiB file here";
  RE re(nullptr);
  re.FilesToMatch = AnsiString(path);
  re.Expression = "MA(R)K";
  std::vector<std::vector<std::uint32_t>> positions;
  re.OnGreppingFiles = [&](TObject*, AnsiString, const CPPStringArray&, CPPUnsignedArray p, bool&) {
    positions.push_back(p);
  };
  EXPECT_EQ(re.GrepFiles(), 3u);
  constexpr std::uint32_t kSaturated = 0xFFFFFFFF;
  EXPECT_EQ(positions, (std::vector<std::vector<std::uint32_t>>{{1000, 1002}, {kSaturated, kSaturated},
                                                                {kSaturated, kSaturated}}));
  std::vector<std::vector<std::uint64_t>> views;
  EXPECT_EQ(re.ForEachFileMatch([&](std::string_view, const MatchView& v) {
    views.push_back({v.Position(0), v.Position(1), v.LineIndex(), v.StartOfLine()});
  }, true),
            3u);
  std::vector<std::vector<std::uint64_t>> expected;
  std::uint64_t line = 1;
  for (std::uint64_t at : kMarkers) expected.push_back({at, at + 2, ++line, at});
  EXPECT_EQ(views, expected);
}

}  // namespace
