#include "platform/macos/MacWorkspace.h"

#include "platform/Dispatch.h"
#include "platform/macos/ProcessState.h"

#include <AppKit/AppKit.h>
#include <Foundation/Foundation.h>

namespace mq::platform::macos {

struct MacWorkspace::Observation {
    NSNotificationCenter* center { nil };
    id observer { nil };
};

namespace {

std::optional<std::string> toOptionalString(NSString* text)
{
    if (!text)
        return std::nullopt;
    return std::string(text.UTF8String);
}

NSString* toNSString(const std::string& text)
{
    return [[NSString alloc] initWithBytes:text.data() length:text.size() encoding:NSUTF8StringEncoding];
}

NSURL* toNSURL(const URL& url)
{
    NSString* text = toNSString(url.absoluteString());
    return text ? [NSURL URLWithString:text] : nil;
}

// NSRunningApplication's terminated flag changes only when the main run loop
// runs; the process table says at once whether the process is gone.
bool hasTerminated(NSRunningApplication* application)
{
    return application.terminated || processHasEnded(application.processIdentifier);
}

} // namespace

MacWorkspace::MacWorkspace() = default;

MacWorkspace::~MacWorkspace()
{
    std::lock_guard lock(m_mutex);
    for (auto& [token, observation] : m_observations)
        [observation->center removeObserver:observation->observer];
}

std::vector<RunningApplication> MacWorkspace::runningApplications()
{
    std::vector<RunningApplication> out;
    @autoreleasepool {
        for (NSRunningApplication* application in [NSWorkspace sharedWorkspace].runningApplications) {
            RunningApplication entry;
            entry.bundleIdentifier = toOptionalString(application.bundleIdentifier);
            entry.pid = application.processIdentifier;
            entry.localizedName = toOptionalString(application.localizedName);
            entry.isTerminated = hasTerminated(application);
            entry.activationPolicy = static_cast<ActivationPolicy>(application.activationPolicy);
            out.push_back(std::move(entry));
        }
    }
    return out;
}

bool MacWorkspace::openURL(const URL& url)
{
    @autoreleasepool {
        NSURL* target = toNSURL(url);
        return target && [[NSWorkspace sharedWorkspace] openURL:target];
    }
}

std::optional<URL> MacWorkspace::urlForApplication(const std::string& bundleIdentifier)
{
    @autoreleasepool {
        NSString* identifier = toNSString(bundleIdentifier);
        NSURL* location = identifier ? [[NSWorkspace sharedWorkspace] URLForApplicationWithBundleIdentifier:identifier] : nil;
        if (!location || !location.fileURL)
            return std::nullopt;
        return URL::fileURLWithPath(location.path.UTF8String);
    }
}

bool MacWorkspace::launchApplication(const URL& applicationURL)
{
    return openApplication(applicationURL, OpenConfiguration {});
}

bool MacWorkspace::openApplication(const URL& applicationURL, const OpenConfiguration& configuration)
{
    @autoreleasepool {
        NSURL* location = toNSURL(applicationURL);
        if (!location)
            return false;
        NSWorkspaceOpenConfiguration* options = [NSWorkspaceOpenConfiguration configuration];
        options.activates = configuration.activates;
        options.addsToRecentItems = configuration.addsToRecentItems;
        options.createsNewApplicationInstance = configuration.createsNewApplicationInstance;
        [[NSWorkspace sharedWorkspace] openApplicationAtURL:location configuration:options completionHandler:nil];
        return true;
    }
}

bool MacWorkspace::setActivationPolicy(ActivationPolicy policy)
{
    return [[NSApplication sharedApplication] setActivationPolicy:static_cast<NSApplicationActivationPolicy>(policy)];
}

void MacWorkspace::activateIgnoringOtherApps()
{
    [[NSApplication sharedApplication] activateIgnoringOtherApps:YES];
}

NotificationToken MacWorkspace::addObserver(NotificationCenterKind center, const std::string& name, DispatchQueue& queue,
    std::function<void()> handler)
{
    auto observation = std::make_unique<Observation>();
    observation->center = center == NotificationCenterKind::workspace ? [NSWorkspace sharedWorkspace].notificationCenter
                                                                      : [NSDistributedNotificationCenter defaultCenter];
    DispatchQueue* target = &queue;
    observation->observer = [observation->center addObserverForName:toNSString(name)
                                                             object:nil
                                                              queue:nil
                                                         usingBlock:^(NSNotification*) {
                                                             if (target->isCurrent())
                                                                 handler();
                                                             else
                                                                 target->async([handler] { handler(); });
                                                         }];
    std::lock_guard lock(m_mutex);
    NotificationToken token = m_nextToken++;
    m_observations.emplace(token, std::move(observation));
    return token;
}

void MacWorkspace::removeObserver(NotificationToken token)
{
    std::unique_ptr<Observation> observation;
    {
        std::lock_guard lock(m_mutex);
        auto found = m_observations.find(token);
        if (found == m_observations.end())
            return;
        observation = std::move(found->second);
        m_observations.erase(found);
    }
    [observation->center removeObserver:observation->observer];
}

} // namespace mq::platform::macos
