// RegularExpressionCustom: class metadata. The set type infos of Options
// and Matches (names from the member tables in engine/expression/OptionMembers.h),
// the declared property list the published classes choose from, and the
// meta-class of StaticClass.
#include "RegexComponent/RegularExpressionCustom.h"

#include "components/ComponentState.h"
#include "engine/expression/OptionMembers.h"

namespace RegexComponent {

using RC = RegularExpressionCustom;

template <>
const TSetTypeInfo& TSetTypeInfoOf<RC::Options>() {
  static const TSetTypeInfo info{"Options", engine::MemberNamesOf(engine::kOptionMembers)};
  return info;
}

template <>
const TSetTypeInfo& TSetTypeInfoOf<RC::Matches>() {
  static const TSetTypeInfo info{"Matches", engine::MemberNamesOf(engine::kMatchMembers)};
  return info;
}

namespace {

TPropInfo TextProperty(const char* name, AnsiString (RC::*get)() const, void (RC::*set)(AnsiString)) {
  return MakePropInfo<RC, AnsiString>(
      name, "AnsiString", std::string("Get") + name, std::string("Set") + name,
      [get](const RC& c) { return (c.*get)(); }, [set](RC& c, const AnsiString& v) { (c.*set)(v); },
      AnsiString());
}

template <class E>
TPropInfo EventProperty(const char* name, const char* type, E RC::*field) {
  return MakePropInfo<RC, E>(
      name, type, name, name, [field](const RC& c) { return c.*field; },
      [field](RC& c, const E& v) { c.*field = v; }, TMethod());
}

TPropInfo BoolProperty(const char* name, bool RC::*field) {
  return MakePropInfo<RC, bool>(
      name, "bool", name, name, [field](const RC& c) { return c.*field; },
      [field](RC& c, const bool& v) { c.*field = v; }, false);
}

}  // namespace

const TPropList& RC::DeclaredProperties() {
  static const TPropList list = [] {
    TPropList l;
    // SetMatches and SetOptions adjust a set relative to the one stored, so
    // they cannot restore every saved set; loading stores it as saved.
    l.push_back(MakePropInfo<RC, MatchesSet>(
        "MatchOptions", "Matches", "FMatchOptions", "SetMatches",
        [](const RC& c) { return c.FMatchOptions; }, [](RC& c, const MatchesSet& v) { c.SetMatches(v); },
        TSetValue{}));
    SetLoadWriter<RC, MatchesSet>(l.back(), [](RC& c, const MatchesSet& v) { c.FMatchOptions = v; });
    l.push_back(MakePropInfo<RC, OptionsSet>(
        "ExpressionOptions", "Options", "FExpressionOptions", "SetOptions",
        [](const RC& c) { return c.FExpressionOptions; }, [](RC& c, const OptionsSet& v) { c.SetOptions(v); },
        TSetValue{}));
    SetLoadWriter<RC, OptionsSet>(l.back(), [](RC& c, const OptionsSet& v) {
      c.FExpressionOptions = v;
      c.State->ExpressionParsed = false;
    });
    l.push_back(TextProperty("Expression", &RC::GetExpression, &RC::SetExpression));
    l.push_back(TextProperty("FormatString", &RC::GetFormatString, &RC::SetFormatString));
    l.push_back(BoolProperty("DirectoryRecursion", &RC::DirectoryRecursion));
    l.push_back(BoolProperty("MergeCopy", &RC::MergeCopy));
    l.push_back(TextProperty("StringToMatch", &RC::GetStringToMatch, &RC::SetStringToMatch));
    l.push_back(TextProperty("FilesToMatch", &RC::GetFilesToMatch, &RC::SetFilesToMatch));
    l.push_back(EventProperty("OnMatching", "MatchingEvent", &RC::OnMatching));
    l.push_back(EventProperty("OnSearching", "MatchingEvent", &RC::OnSearching));
    l.push_back(EventProperty("OnGrepping", "GreppingEvent", &RC::OnGrepping));
    l.push_back(EventProperty("OnGreppingFiles", "GreppingFilesEvent", &RC::OnGreppingFiles));
    l.push_back(EventProperty("OnFindFiles", "FindFilesEvent", &RC::OnFindFiles));
    return l;
  }();
  return list;
}

TComponentClass RC::StaticClass() {
  static const TMetaClass meta("RegularExpressionCustom", TComponent::StaticClass(),
                               &CreateComponent<RegularExpressionCustom>,
                               SelectProperties(TComponent::StaticClass()->PublishedProperties(), {"Name", "Tag"}));
  return &meta;
}

}  // namespace RegexComponent
