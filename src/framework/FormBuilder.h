// Components from a checked tree of object descriptions: creates each
// component with its owner, names it, sets its properties (through the
// loading writer where a property has one) and binds its events to the
// published methods of the method root. A failure raises a positioned
// EFormError after undoing the whole build.
//
// Interface (namespace RegexComponent::form): BuildComponent, FillRoot.
#pragma once

#include <memory>

#include "FormParser.h"
#include "RegexComponent/Framework/FormStreaming.h"

namespace RegexComponent::form {

// Creates the component `node` describes, owned by `owner`, with everything
// nested in it. Events bind to owner's published methods, or to the new
// component's own when owner is null. On failure nothing it created is left.
std::unique_ptr<TComponent> BuildComponent(const ObjectNode& node, TComponent* owner,
                                           const TFormReadOptions& options);

// Gives the existing `root` the name and properties of `node` and creates
// the components nested in it, owned by root. Events bind to root's
// published methods. On failure the created components are destroyed and
// root's name and the properties set are put back.
void FillRoot(TComponent& root, const ObjectNode& node);

}  // namespace RegexComponent::form
