// Syntax options, match options and their flag words.
#include <gtest/gtest.h>

#include <RegexComponent/RegularExpressionCustom.h>

using namespace RegexComponent;
using RE = RegularExpressionCustom;
using O = RE::OptionsSet;
using M = RE::MatchesSet;

namespace {

const O kDefault{RE::EscapeInCharacterSets, RE::CharacterClasses, RE::Intervals, RE::BackReferences,
                 RE::NoLocaleSpecificCollation, RE::Normal};
const O kBasicSet{RE::CharacterClasses, RE::Intervals,        RE::LimitedOperations, RE::BracesNotOperators,
                  RE::ParenthesesNotOperators, RE::BackReferences, RE::Basic};
const O kExtendedSet{RE::CharacterClasses, RE::Intervals, RE::BackReferences, RE::Extended};

struct OptionCase {
  const char* name;
  O from;
  O requested;
  O expected;
  std::uint32_t word;
};

class SetOptionsRules : public testing::TestWithParam<OptionCase> {};

TEST_P(SetOptionsRules, StoresTheConsistentSetAndItsFlagWord) {
  const OptionCase& c = GetParam();
  RE re(nullptr);
  re.SetOptions(c.from);
  ASSERT_EQ(O(re.ExpressionOptions), c.from) << "precondition";
  re.SetOptions(c.requested);
  EXPECT_EQ(O(re.ExpressionOptions).ToBits(), c.expected.ToBits());
  EXPECT_EQ(re.GetFlagOptions(), c.word);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, SetOptionsRules,
    testing::Values(
        OptionCase{"AddBasic", kDefault, O(kDefault) << RE::Basic, kBasicSet, 0x01CE},
        OptionCase{"AddExtended", kDefault, O(kDefault) << RE::Extended, kExtendedSet, 0x0106},
        OptionCase{"RemoveNormal", kDefault, O(kDefault) >> RE::Normal, O{}, 0},
        OptionCase{"RemoveCharacterClasses", kDefault, O(kDefault) >> RE::CharacterClasses,
                   O{RE::EscapeInCharacterSets, RE::Intervals, RE::BackReferences, RE::NoLocaleSpecificCollation},
                   0x4105},
        OptionCase{"AddLimitedOperations", kDefault, O(kDefault) << RE::LimitedOperations,
                   O(kDefault) << RE::LimitedOperations, 0x410F},
        OptionCase{"AddCaseInsensitive", kDefault, O(kDefault) << RE::CaseInsensitive,
                   O(kDefault) << RE::CaseInsensitive, 0x6107},
        OptionCase{"CommonMembersTakeUpExtended", O{}, O{RE::CharacterClasses, RE::Intervals, RE::BackReferences},
                   kExtendedSet, 0x0106},
        OptionCase{"OnlyEscapeFromNormalEmpties", kDefault, O{RE::EscapeInCharacterSets}, O{}, 0},
        OptionCase{"SavedSetWithoutModeLosesMembers", kDefault, O{RE::EscapeInCharacterSets, RE::LimitedOperations},
                   O{RE::LimitedOperations}, 0x0008},
        OptionCase{"BasicWithoutLimitedOperationsTurnsExtended", kBasicSet, O(kBasicSet) >> RE::LimitedOperations,
                   O{RE::CharacterClasses, RE::Intervals, RE::BracesNotOperators, RE::ParenthesesNotOperators,
                     RE::BackReferences, RE::Extended},
                   0x01C6},
        OptionCase{"BasicAndExtendedTogether", kDefault, O(kDefault) << RE::Basic << RE::Extended,
                   O{RE::CharacterClasses, RE::Intervals, RE::BackReferences, RE::Basic, RE::Extended}, 0x01CE},
        OptionCase{"ExtendedPlusBasicTurnsBasic", kExtendedSet, O(kExtendedSet) << RE::Basic, kBasicSet, 0x01CE},
        OptionCase{"ExtendedSetRestoredUnchanged", kDefault, kExtendedSet, kExtendedSet, 0x0106},
        OptionCase{"BasicSetRestoredUnchanged", kDefault, kBasicSet, kBasicSet, 0x01CE},
        OptionCase{"NormalExtrasTakeUpNormal", kExtendedSet,
                   O(kExtendedSet) << RE::EscapeInCharacterSets << RE::NoLocaleSpecificCollation, kDefault, 0x4107},
        OptionCase{"OtherMembersPassThrough", kDefault,
                   O(kDefault) << RE::Literals << RE::VerticalbarNotOperator << RE::NewlineAsAlternationOperator
                               << RE::QuestionmarkPlusNotOperators,
                   O(kDefault) << RE::Literals << RE::VerticalbarNotOperator << RE::NewlineAsAlternationOperator
                               << RE::QuestionmarkPlusNotOperators,
                   0x5337}),
    [](const testing::TestParamInfo<OptionCase>& info) { return std::string(info.param.name); });

TEST(SetOptions, EqualSetKeepsTheCompiledExpressionAndADifferentOneRecompiles) {
  RE re(nullptr);
  re.Expression = "a(b)";
  ASSERT_EQ(re.ParseExpression(), 0);
  ASSERT_EQ(re.NumberOfSubexpressions(), 2u);
  re.ExpressionOptions = re.ExpressionOptions;  // the same set: nothing changes
  EXPECT_EQ(re.NumberOfSubexpressions(), 2u);
  re.ExpressionOptions = re.ExpressionOptions << RE::CaseInsensitive;
  EXPECT_EQ(re.NumberOfSubexpressions(), 0u);  // not compiled until the next operation
  EXPECT_EQ(re.ParseExpression(), 0);
  EXPECT_EQ(re.NumberOfSubexpressions(), 2u);
}

struct MatchCase {
  const char* name;
  M from;
  M requested;
  M expected;
  std::uint32_t word;
};

class SetMatchesRules : public testing::TestWithParam<MatchCase> {};

const M kRestricting{RE::MatchNotBeginningOfLine, RE::MatchNotEndOfLine,  RE::MatchNotBeginningOfBuffer,
                     RE::MatchNotEndOfBuffer,     RE::MatchNotBeginningOfWord, RE::MatchNotEndOfWord,
                     RE::MatchNotDotNewline,      RE::MatchNotDotNullCharacter};

TEST_P(SetMatchesRules, KeepsMatchDefaultExactlyWhenNothingRestricts) {
  const MatchCase& c = GetParam();
  RE re(nullptr);
  re.MatchOptions = M(c.from) << RE::MatchDefault;  // from { MatchDefault }, rule 3 reaches `from`
  ASSERT_EQ(M(re.MatchOptions), c.from) << "precondition";
  re.MatchOptions = c.requested;
  EXPECT_EQ(M(re.MatchOptions).ToBits(), c.expected.ToBits());
  EXPECT_EQ(re.GetMatchFlags(), c.word);
  const M stored = re.MatchOptions;
  EXPECT_EQ(stored.Contains(RE::MatchDefault), (stored * kRestricting).Empty());
}

INSTANTIATE_TEST_SUITE_P(
    Rules, SetMatchesRules,
    testing::Values(
        MatchCase{"DefaultPlusRestrictingDropsDefault", M{RE::MatchDefault},
                  M{RE::MatchDefault, RE::MatchNotDotNewline}, M{RE::MatchNotDotNewline}, 0x0040},
        MatchCase{"AddingDefaultClearsRestricting", M{RE::MatchNotDotNewline},
                  M{RE::MatchDefault, RE::MatchNotDotNewline}, M{RE::MatchDefault}, 0},
        MatchCase{"EmptyFromDefaultGivesAllRestricting", M{RE::MatchDefault}, M{}, kRestricting, 0x00FF},
        MatchCase{"ShortestAloneFromDefault", M{RE::MatchDefault}, M{RE::MatchShortest},
                  M(kRestricting) << RE::MatchShortest, 0x04FF},
        MatchCase{"EmptyFromRestrictingGivesDefault", M{RE::MatchNotDotNewline}, M{}, M{RE::MatchDefault}, 0},
        MatchCase{"ContinuousKeptWithDefault", M{RE::MatchDefault}, M{RE::MatchDefault, RE::MatchContinuous},
                  M{RE::MatchDefault, RE::MatchContinuous}, 0x1000},
        MatchCase{"SameSetStoredAgain", M{RE::MatchNotBeginningOfLine, RE::MatchNotNullString},
                  M{RE::MatchNotBeginningOfLine, RE::MatchNotNullString},
                  M{RE::MatchNotBeginningOfLine, RE::MatchNotNullString}, 0x0801}),
    [](const testing::TestParamInfo<MatchCase>& info) { return std::string(info.param.name); });

TEST(SetMatches, NewComponentGivenOneRestrictingMemberGetsAllEight) {
  RE re(nullptr);
  re.SetMatches(M{RE::MatchNotDotNewline});
  EXPECT_EQ(M(re.MatchOptions), kRestricting);
}

TEST(SetMatches, LeavesTheCompiledExpressionAlone) {
  RE re(nullptr);
  re.Expression = "(x)";
  ASSERT_EQ(re.ParseExpression(), 0);
  re.MatchOptions = M{RE::MatchNotDotNewline};
  EXPECT_EQ(re.NumberOfSubexpressions(), 2u);
}

}  // namespace
