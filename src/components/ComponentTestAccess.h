// ComponentTestAccess: the tests' way to the private state of a component.
// It lives beside the component's units, not among the public headers, so
// the installed interface carries no test hook.
#pragma once

#include "components/ComponentState.h"

namespace RegexComponent {

struct ComponentTestAccess : RegularExpressionCustom {
  // The state of `component`: the pointer-to-member is formed through this
  // derived class, which protected access allows, and applied to the base.
  static const detail::ComponentState& StateOf(const RegularExpressionCustom& component) {
    return *(component.*&ComponentTestAccess::State);
  }
};

}  // namespace RegexComponent
