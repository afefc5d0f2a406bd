// A component tree to form text: one object per component, nested for the
// components it owns, with each stored property whose value differs from a
// newly constructed component's. Events are written by the names of the
// method root's published methods. What the reader would refuse (a NUL in a
// string, a handler with no such name, nesting past kMaxFormNesting) raises
// an EFormError without a position.
//
// Interface (namespace RegexComponent::form): WriteForm.
#pragma once

#include <string>

#include "RegexComponent/Framework/Classes.h"

namespace RegexComponent::form {

std::string WriteForm(const TComponent& component, const TComponent& methodRoot);

}  // namespace RegexComponent::form
