// Form text to a checked tree of object descriptions: the syntax, the
// classes (registered, or the root's), the properties and the types of their
// values, set members, nesting depth and duplicate names among siblings are
// all checked before any component exists. Bad input raises a positioned
// EFormError.
//
// Interface (namespace RegexComponent::form): Assignment, ObjectNode,
// ParseForm.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "FormSyntax.h"
#include "RegexComponent/Framework/TypInfo.h"

namespace RegexComponent::form {

// One `Property = value` line, resolved against the object's class.
struct Assignment {
  const TPropInfo* Info = nullptr;
  TPropertyValue Value;
  std::string Method;  // events: the handler's name; empty for nil
  Position Pos;
  Position ValuePos;
};

// One `object` with its properties and the objects nested in it.
struct ObjectNode {
  std::string Name;
  Position NamePos;
  TComponentClass Class = nullptr;
  std::vector<Assignment> Properties;
  std::vector<ObjectNode> Children;
};

// The whole text as one outer object. `rootClass` is the class the outer
// object must name; null looks its class up among the registered classes.
ObjectNode ParseForm(std::string_view text, TComponentClass rootClass);

}  // namespace RegexComponent::form
