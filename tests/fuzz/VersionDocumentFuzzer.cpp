// libFuzzer target: the version document's decoder must answer any bytes (numbers
// out of range, deep nesting, invalid UTF-8) without throwing, and agree with a
// full JSON parse on what it accepts: a payload exactly when the body is a JSON
// object whose three keys hold strings, with those strings.
#include "maintenance/VersionDocument.h"

#include <nlohmann/json.hpp>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::uint8_t> body(data, data + size);
    auto decoded = mq::maintenance::decodeVersionCheckPayload(body);
    auto document = nlohmann::json::parse(body.begin(), body.end(), nullptr, /*allow_exceptions=*/false);
    bool expected = !document.is_discarded() && document.is_object();
    const char* keys[] = { "version", "releaseNotes", "path" };
    for (const char* key : keys)
        expected = expected && document.contains(key) && document[key].is_string();
    auto* payload = (decoded.hasValue() ? &decoded.value() : nullptr);
    if (expected != (payload != nullptr))
        std::abort();
    if (payload
        && (payload->version != document["version"].get<std::string>() || payload->releaseNotes != document["releaseNotes"].get<std::string>()
            || payload->path != document["path"].get<std::string>()))
        std::abort();
    return 0;
}
