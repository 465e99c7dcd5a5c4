// The system-wide accessibility element, whose messaging time-out is the default
// for every element.
#pragma once

#include "ax/UIElement.h"

namespace mq::ax {

class SystemWideElement : public UIElement {
public:
    /// A new handle to the system-wide element (AXUIElementCreateSystemWide).
    explicit SystemWideElement(platform::Accessibility& accessibility);

    /// The one shared instance for `accessibility`, created on first use. Copies
    /// share its messaging time-out (UIElement has reference semantics). Thread-safe.
    static SystemWideElement shared(platform::Accessibility& accessibility);

    /// Forgets the shared instance of `accessibility`. Whoever destroys a backend
    /// calls this first, so that a later backend at the same address starts afresh.
    static void releaseShared(platform::Accessibility& accessibility);
};

} // namespace mq::ax
