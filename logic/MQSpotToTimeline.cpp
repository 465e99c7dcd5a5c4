#include "logic/MQSpotToTimeline.h"

#include "logic/ServiceLog.h"

namespace mq::logic {

namespace {

using platform::AEDescRef;
namespace osstatus = platform::osstatus;

/// A descriptor disposed of through the platform when it goes out of scope,
/// also while it is still the null descriptor (which the platform allows).
class OwnedDesc {
public:
    explicit OwnedDesc(platform::Scripting& scripting)
        : m_scripting(scripting)
    {
    }
    ~OwnedDesc() { m_scripting.disposeDesc(m_desc); }
    OwnedDesc(const OwnedDesc&) = delete;
    OwnedDesc& operator=(const OwnedDesc&) = delete;

    AEDescRef& get() { return m_desc; }

private:
    platform::Scripting& m_scripting;
    AEDescRef m_desc;
};

std::int32_t putInteger(platform::Scripting& scripting, const AEDescRef& event, spot::IntegerParameter parameter)
{
    return scripting.putParamPtr(event, parameter.keyword, spot::kTypeSInt32, &parameter.value, sizeof parameter.value);
}

} // namespace

std::int32_t MQSpotToTimeline::sendWithAudioFilePath(platform::Scripting& scripting, const std::string& path, const std::string& regionName,
    const std::string& targetBundleID)
{
    platform::FileReference file;
    if (std::int32_t status = scripting.makeFileReference(path, file); status != osstatus::noErr) {
        serviceLog().error("MQSpotToTimeline: FSPathMakeRef failed ({}) for {}", status, path);
        return status;
    }

    // Declared in this order so that the reply, the event and the target are
    // disposed of in reverse, whichever step returns.
    OwnedDesc target(scripting);
    OwnedDesc event(scripting);
    OwnedDesc reply(scripting);
    if (std::int32_t status = scripting.createDesc(spot::kTypeApplicationBundleID, targetBundleID.data(), targetBundleID.size(), target.get());
        status != osstatus::noErr)
        return status;
    if (std::int32_t status = scripting.createAppleEvent(spot::kEventClass, spot::kEventID, target.get(), platform::appleevent::kAutoGenerateReturnID,
            platform::appleevent::kAnyTransactionID, event.get());
        status != osstatus::noErr)
        return status;

    if (std::int32_t status = putInteger(scripting, event.get(), spot::kModeParameter); status != osstatus::noErr)
        return status;
    if (std::int32_t status = scripting.putParamPtr(event.get(), spot::kFileParameter, spot::kTypeFSRef, file.bytes.data(), file.bytes.size());
        status != osstatus::noErr)
        return status;
    for (const spot::IntegerParameter& parameter : spot::kIntegerParametersAfterFile)
        if (std::int32_t status = putInteger(scripting, event.get(), parameter); status != osstatus::noErr)
            return status;
    if (!regionName.empty()) {
        if (std::int32_t status = scripting.putParamPtr(event.get(), spot::kRegionNameParameter, spot::kTypeUTF8Text, regionName.data(), regionName.size());
            status != osstatus::noErr)
            return status;
    }

    std::int32_t status = scripting.sendMessage(event.get(), reply.get(), platform::appleevent::kAENoReply, platform::appleevent::kAEDefaultTimeout);
    if (status != osstatus::noErr) {
        serviceLog().error("MQSpotToTimeline: AESendMessage failed ({})", status);
        return status;
    }
    serviceLog().notice("MQSpotToTimeline: sent for {} (region '{}')", path, regionName);
    return osstatus::noErr;
}

} // namespace mq::logic
