#include "platform/macos/MacScripting.h"

#include "platform/macos/AXElementTable.h"
#include "platform/macos/CFValueConversion.h"

#include <CoreServices/CoreServices.h>
#include <Foundation/Foundation.h>

#include <cstring>

namespace mq::platform::macos {

struct MacScripting::Descriptor {
    AEDesc desc {};
    ~Descriptor() { AEDisposeDesc(&desc); }
};

namespace {

// NSAppleScript's error dictionary (NSAppleScriptErrorNumber, NSAppleScriptErrorMessage, ...).
CFDictionary errorInfo(NSDictionary<NSString*, id>* error)
{
    if (!error)
        return {};
    // It holds strings and numbers only: no accessibility element can turn up in it.
    AXElementTable noElements;
    auto converted = fromCF((__bridge CFTypeRef)error, noElements);
    auto* dictionary = converted.get<CFDictionary>();
    return dictionary ? *dictionary : CFDictionary {};
}

} // namespace

MacScripting::MacScripting() = default;
MacScripting::~MacScripting() = default;

ScriptResult MacScripting::runAppleScript(const std::string& source)
{
    std::lock_guard lock(m_scriptMutex);
    ScriptResult result;
    @autoreleasepool {
        NSString* text = [[NSString alloc] initWithBytes:source.data() length:source.size() encoding:NSUTF8StringEncoding];
        NSAppleScript* script = text ? [[NSAppleScript alloc] initWithSource:text] : nil;
        if (!script)
            return result;
        NSDictionary<NSString*, id>* error = nil;
        if (![script compileAndReturnError:&error]) {
            result.errorInfo = errorInfo(error);
            return result;
        }
        result.compiled = true;
        error = nil;
        if (![script executeAndReturnError:&error])
            result.errorInfo = errorInfo(error);
    }
    return result;
}

std::int32_t MacScripting::makeFileReference(const std::string& path, FileReference& out)
{
    FSRef ref {};
    OSStatus status = FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), &ref, nullptr);
    if (status == noErr) {
        static_assert(sizeof(ref) == sizeof(out.bytes), "an FSRef is 80 bytes");
        std::memcpy(out.bytes.data(), &ref, sizeof(ref));
    }
    return status;
}

AEDescRef MacScripting::keep(std::shared_ptr<Descriptor> descriptor)
{
    std::lock_guard lock(m_descriptorsMutex);
    AEDescRef handle { m_nextToken++ };
    m_descriptors.emplace(handle.token, std::move(descriptor));
    return handle;
}

std::shared_ptr<MacScripting::Descriptor> MacScripting::find(const AEDescRef& desc)
{
    std::lock_guard lock(m_descriptorsMutex);
    auto found = m_descriptors.find(desc.token);
    return found == m_descriptors.end() ? nullptr : found->second;
}

std::int32_t MacScripting::createDesc(FourCharCode type, const void* data, std::size_t size, AEDescRef& result)
{
    auto descriptor = std::make_shared<Descriptor>();
    OSErr status = AECreateDesc(static_cast<DescType>(type), data, static_cast<Size>(size), &descriptor->desc);
    if (status == noErr)
        result = keep(std::move(descriptor));
    return status;
}

std::int32_t MacScripting::createAppleEvent(FourCharCode eventClass, FourCharCode eventID, const AEDescRef& target,
    std::int16_t returnID, std::int32_t transactionID, AEDescRef& result)
{
    auto address = find(target);
    if (!address)
        return errAENotAEDesc;
    auto event = std::make_shared<Descriptor>();
    OSErr status = AECreateAppleEvent(static_cast<AEEventClass>(eventClass), static_cast<AEEventID>(eventID), &address->desc,
        static_cast<AEReturnID>(returnID), static_cast<AETransactionID>(transactionID), &event->desc);
    if (status == noErr)
        result = keep(std::move(event));
    return status;
}

std::int32_t MacScripting::putParamPtr(const AEDescRef& event, FourCharCode keyword, FourCharCode type, const void* data, std::size_t size)
{
    auto appleEvent = find(event);
    if (!appleEvent)
        return errAENotAEDesc;
    return AEPutParamPtr(&appleEvent->desc, static_cast<AEKeyword>(keyword), static_cast<DescType>(type), data, static_cast<Size>(size));
}

std::int32_t MacScripting::sendMessage(const AEDescRef& event, AEDescRef& reply, std::int32_t sendMode, std::int64_t timeoutTicks)
{
    auto appleEvent = find(event);
    if (!appleEvent)
        return errAENotAEDesc;
    auto answer = std::make_shared<Descriptor>();
    OSStatus status = AESendMessage(&appleEvent->desc, &answer->desc, static_cast<AESendMode>(sendMode), static_cast<long>(timeoutTicks));
    // Without a reply the reply descriptor stays the null descriptor.
    if ((sendMode & kAEWaitReply) == kAEWaitReply && answer->desc.descriptorType != typeNull)
        reply = keep(std::move(answer));
    else
        reply = AEDescRef {};
    return status;
}

std::int32_t MacScripting::disposeDesc(AEDescRef& desc)
{
    if (desc.isNull())
        return noErr;
    std::shared_ptr<Descriptor> descriptor;
    {
        std::lock_guard lock(m_descriptorsMutex);
        auto found = m_descriptors.find(desc.token);
        if (found == m_descriptors.end())
            return errAENotAEDesc;
        descriptor = std::move(found->second);
        m_descriptors.erase(found);
    }
    desc = AEDescRef {};
    return noErr;
}

std::int32_t MacScripting::determinePermissionToAutomateTarget(const std::string& bundleIdentifier, FourCharCode eventClass,
    FourCharCode eventID, bool askUserIfNeeded)
{
    AEAddressDesc target {};
    OSErr made = AECreateDesc(typeApplicationBundleID, bundleIdentifier.data(), static_cast<Size>(bundleIdentifier.size()), &target);
    if (made != noErr)
        return made;
    OSStatus status = AEDeterminePermissionToAutomateTarget(&target, static_cast<AEEventClass>(eventClass),
        static_cast<AEEventID>(eventID), askUserIfNeeded);
    AEDisposeDesc(&target);
    return status;
}

} // namespace mq::platform::macos
