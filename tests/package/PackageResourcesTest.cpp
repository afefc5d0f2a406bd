// The embedded resources, the version record, the package information, the
// main unit's entries and the in-process side of the library entry.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>
#include <vector>

#include "RegexComponent/PackageResources.h"
#include "RegexComponent/RegularExpressionCustom.h"

namespace RegexComponent {
namespace {

using Bytes = std::span<const std::uint8_t>;

std::uint32_t U16(Bytes b, std::size_t at) { return b[at] | b[at + 1] << 8; }
std::uint32_t U32(Bytes b, std::size_t at) { return U16(b, at) | U16(b, at + 2) << 16; }

Bytes Resource(std::string_view name) {
  const auto resource = FindPackageResource(name);
  EXPECT_TRUE(resource.has_value()) << name;
  return resource ? resource->data : Bytes{};
}

std::vector<std::uint8_t> TreeFile(const std::string& file) {
  std::ifstream in(std::string(RC_SOURCE_DIR) + "/package/resources/" + file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST(PackageResources, TableHoldsTheFilesFromTheTree) {
  const std::vector<std::pair<std::string, std::string>> expected{
      {"DESCRIPTION", "DESCRIPTION.utf16le"},
      {"REGULAREXPRESSION", "REGULAREXPRESSION.bmp"},
      {"REGULAREXPRESSIONINTERFACE", "REGULAREXPRESSIONINTERFACE.bmp"},
      {"MAINICON", "MAINICON.ico"}};
  ASSERT_EQ(PackageResources().size(), expected.size());
  for (const auto& [name, file] : expected) {
    const Bytes data = Resource(name);
    const std::vector<std::uint8_t> onDisk = TreeFile(file);
    ASSERT_FALSE(onDisk.empty()) << file;
    EXPECT_TRUE(std::equal(data.begin(), data.end(), onDisk.begin(), onDisk.end())) << name;
  }
  EXPECT_EQ(FindPackageResource("MAINICON")->type, "ICON");
  EXPECT_EQ(FindPackageResource("REGULAREXPRESSION")->type, "BITMAP");
  EXPECT_FALSE(FindPackageResource("mainicon"));
  EXPECT_FALSE(FindPackageResource("MAINICON "));
  EXPECT_FALSE(FindPackageResource(""));
}

TEST(PackageResources, DescriptionIsUtf16LittleEndianWithoutBom) {
  const Bytes raw = Resource("DESCRIPTION");
  ASSERT_EQ(raw.size(), 2 * std::string_view("Regular Expression Components").size());
  EXPECT_EQ(raw[0], 'R');
  EXPECT_EQ(raw[1], 0);
  EXPECT_EQ(PackageDescription(), u"Regular Expression Components");
}

void ExpectPaletteBitmap24(std::string_view name) {
  SCOPED_TRACE(name);
  const Bytes b = Resource(name);
  ASSERT_GE(b.size(), 54u);
  EXPECT_EQ(b[0], 'B');
  EXPECT_EQ(b[1], 'M');
  EXPECT_EQ(U32(b, 2), b.size());             // bfSize
  const std::uint32_t offset = U32(b, 10);    // bfOffBits
  EXPECT_EQ(offset, 14u + 40u + 256u * 4u);   // headers + full palette
  EXPECT_EQ(U32(b, 14), 40u);                 // BITMAPINFOHEADER
  EXPECT_EQ(U32(b, 18), 24u);                 // width
  EXPECT_EQ(U32(b, 22), 24u);                 // height, positive: bottom-up
  EXPECT_EQ(U16(b, 26), 1u);                  // planes
  EXPECT_EQ(U16(b, 28), 8u);                  // bits per pixel
  EXPECT_EQ(U32(b, 30), 0u);                  // BI_RGB
  EXPECT_EQ(U32(b, 46), 256u);                // colours used
  const std::size_t stride = (24 * 8 + 31) / 32 * 4;
  ASSERT_EQ(b.size(), offset + stride * 24);
  // Real pixel art: many colours, transparent key in the bottom-left corner
  // differing from the centre of the glass.
  const std::set<std::uint8_t> used(b.begin() + offset, b.end());
  EXPECT_GE(used.size(), 8u);
  EXPECT_NE(b[offset], b[offset + 12 * stride + 9]);
}

TEST(PackageResources, PaletteBitmapsAre24By24With256Colours) {
  ExpectPaletteBitmap24("REGULAREXPRESSION");
  ExpectPaletteBitmap24("REGULAREXPRESSIONINTERFACE");
  const Bytes a = Resource("REGULAREXPRESSION");
  const Bytes b = Resource("REGULAREXPRESSIONINTERFACE");
  EXPECT_FALSE(std::equal(a.begin(), a.end(), b.begin(), b.end()));
}

TEST(PackageResources, MainIconHoldsOne32By32SixteenColourImage) {
  const Bytes b = Resource("MAINICON");
  ASSERT_GE(b.size(), 22u + 40u);
  EXPECT_EQ(U16(b, 0), 0u);  // reserved
  EXPECT_EQ(U16(b, 2), 1u);  // icon, not cursor
  EXPECT_EQ(U16(b, 4), 1u);  // one image
  EXPECT_EQ(b[6], 32);       // width
  EXPECT_EQ(b[7], 32);       // height
  EXPECT_EQ(b[8], 16);       // colours
  EXPECT_EQ(U16(b, 12), 4u); // bits per pixel
  const std::uint32_t bytes = U32(b, 14), offset = U32(b, 18);
  EXPECT_EQ(offset, 22u);
  ASSERT_EQ(offset + bytes, b.size());
  EXPECT_EQ(U32(b, offset), 40u);
  EXPECT_EQ(U32(b, offset + 4), 32u);
  EXPECT_EQ(U32(b, offset + 8), 64u);  // colour plane plus AND mask
  EXPECT_EQ(U16(b, offset + 14), 4u);
  const std::uint32_t colourPlane = 16 * 32, mask = 4 * 32;
  EXPECT_EQ(bytes, 40u + 16u * 4u + colourPlane + mask);
  // The mask leaves the corner transparent and the glass opaque; rows are
  // stored bottom-up.
  const Bytes andMask = b.subspan(b.size() - mask);
  EXPECT_EQ(andMask[0] & 0x80, 0x80);
  EXPECT_EQ(andMask[16 * 4 + 1] & 0x80, 0);  // y = 15, x = 8
}

TEST(PackageVersion, Is1000WithEveryDescriptiveStringEmpty) {
  const PackageVersionInfo& version = PackageVersion();
  for (const VersionNumber& n : {version.fileVersion, version.productVersion}) {
    EXPECT_EQ(n.major, 1);
    EXPECT_EQ(n.minor, 0);
    EXPECT_EQ(n.release, 0);
    EXPECT_EQ(n.build, 0);
  }
  std::set<std::string_view> keys;
  for (const VersionString& s : version.strings) {
    EXPECT_TRUE(s.value.empty()) << s.key;
    keys.insert(s.key);
  }
  EXPECT_EQ(keys, (std::set<std::string_view>{"CompanyName", "FileDescription", "FileVersion", "InternalName",
                                               "LegalCopyright", "OriginalFilename", "ProductName",
                                               "ProductVersion"}));
}

TEST(PackageInfo, DescribesRequirementsAndUnits) {
  const PackageInformation& info = PackageInfo();
  EXPECT_FALSE(info.designOnly);
  EXPECT_FALSE(info.runOnly);
  EXPECT_TRUE(std::ranges::equal(info.requiredPackages, std::vector<std::string_view>{"vcl", "rtl"}));
  std::vector<std::pair<std::string_view, PackageUnitKind>> units;
  for (const PackageUnit& unit : info.containedUnits) units.emplace_back(unit.name, unit.kind);
  using K = PackageUnitKind;
  EXPECT_EQ(units, (std::vector<std::pair<std::string_view, PackageUnitKind>>{
                       {"RegexComponents", K::Main},
                       {"RegularExpressionCustom", K::Component},
                       {"RegularExpression", K::Component},
                       {"RegularExpressionInterface", K::Component},
                       {"System", K::Framework},
                       {"Classes", K::Framework},
                       {"SyncObjs", K::Framework}}));
}

TEST(PackageMainUnit, InitializationAndFinalizationNest) {
  const int start = Regexcomponents::InitializationCount();
  ASSERT_EQ(start, 0);
  Regexcomponents::Finalization();  // unbalanced: ignored
  EXPECT_EQ(Regexcomponents::InitializationCount(), 0);
  Regexcomponents::Initialization();
  Regexcomponents::Initialization();
  EXPECT_EQ(Regexcomponents::InitializationCount(), 2);
  Regexcomponents::Finalization();
  EXPECT_EQ(Regexcomponents::InitializationCount(), 1);
  Regexcomponents::Finalization();
  EXPECT_EQ(Regexcomponents::InitializationCount(), 0);

  std::vector<std::jthread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([] {
      for (int i = 0; i < 1000; ++i) Regexcomponents::Initialization();
    });
  }
  threads.clear();
  EXPECT_EQ(Regexcomponents::InitializationCount(), 4000);
  for (int i = 0; i < 4000; ++i) Regexcomponents::Finalization();
  EXPECT_EQ(Regexcomponents::InitializationCount(), 0);
}

TEST(PackageEntry, LockExistsFromLoadAndFollowsFinalizeAndInitialize) {
  // No component has been created in this program: the library's
  // constructor made the lock.
  ASSERT_NE(RegularExpressionCustom::FileOperationLock, nullptr);
  EXPECT_EQ(rc_package_lock_exists(), 1);
  FinalizePackage();
  EXPECT_EQ(RegularExpressionCustom::FileOperationLock, nullptr);
  EXPECT_EQ(rc_package_lock_exists(), 0);
  InitializePackage();
  TCriticalSection* lock = RegularExpressionCustom::FileOperationLock;
  ASSERT_NE(lock, nullptr);
  InitializePackage();  // a second load keeps the existing lock
  EXPECT_EQ(RegularExpressionCustom::FileOperationLock, lock);
}

TEST(PackageEntry, SearchEntryRunsAComponent) {
  EXPECT_EQ(rc_package_search("a+b", "xxaaab"), 1);
  EXPECT_EQ(rc_package_search("^b", "ab"), 0);
  EXPECT_EQ(rc_package_search("(", "("), -1);
  EXPECT_EQ(rc_package_search(nullptr, "a"), -1);
  EXPECT_EQ(rc_package_search("a", nullptr), -1);
}

}  // namespace
}  // namespace RegexComponent
