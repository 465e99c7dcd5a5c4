#include "ax/SystemWideElement.h"

#include <map>
#include <mutex>

namespace mq::ax {

namespace {

// One shared element per backend. The process normally has one backend; tests make
// many, one after another.
struct SharedElements {
    std::mutex mutex;
    std::map<platform::Accessibility*, SystemWideElement> byBackend;
};

SharedElements& sharedElements()
{
    static SharedElements elements;
    return elements;
}

} // namespace

SystemWideElement::SystemWideElement(platform::Accessibility& accessibility)
    : UIElement(accessibility, accessibility.createSystemWide())
{
}

SystemWideElement SystemWideElement::shared(platform::Accessibility& accessibility)
{
    SharedElements& elements = sharedElements();
    std::lock_guard lock(elements.mutex);
    auto found = elements.byBackend.find(&accessibility);
    if (found == elements.byBackend.end())
        found = elements.byBackend.emplace(&accessibility, SystemWideElement(accessibility)).first;
    return found->second;
}

void SystemWideElement::releaseShared(platform::Accessibility& accessibility)
{
    SharedElements& elements = sharedElements();
    std::lock_guard lock(elements.mutex);
    elements.byBackend.erase(&accessibility);
}

} // namespace mq::ax
