#include "logic/StoredActionRunner.h"

#include "logic/ServiceLog.h"
#include "logic/StoredActionData.h"
#include "logic/StoredActionInterpreter.h"
#include "platform/AESCipher.h"
#include "platform/ChildProcess.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace mq::logic {

namespace stored {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view kPlaceholder = "__ID__";

/// The run's secret buffers. However the run ends, the destructor wipes each one,
/// shows them to the test hook and only then lets them go.
struct Secrets {
    Key key {};
    std::vector<std::uint8_t> scriptTemplate;
    std::vector<std::uint8_t> allowList;
    std::vector<std::uint8_t> script;
    const RunOptions& options;

    explicit Secrets(const RunOptions& runOptions)
        : options(runOptions)
    {
    }
    Secrets(const Secrets&) = delete;
    Secrets& operator=(const Secrets&) = delete;

    void wipeKey() { platform::aes::secureZero(key.data(), key.size()); }

    ~Secrets()
    {
        wipeKey();
        for (auto* buffer : { &script, &scriptTemplate, &allowList })
            if (!buffer->empty())
                platform::aes::secureZero(buffer->data(), buffer->size());
        if (options.beforeRelease) {
            const ReleasedBuffer buffers[] = {
                { "key", key.data(), key.size() },
                { "template", scriptTemplate.data(), scriptTemplate.size() },
                { "allowList", allowList.data(), allowList.size() },
                { "script", script.data(), script.size() },
            };
            options.beforeRelease(buffers);
        }
    }
};

std::string_view asText(const std::vector<std::uint8_t>& bytes, std::size_t length)
{
    return { reinterpret_cast<const char*>(bytes.data()), length };
}

/// Builds the script into `secrets.script`, sized exactly once so that no copy of
/// it is left behind by a reallocation. False when the template has no placeholder.
bool substitute(Secrets& secrets, std::size_t templateLength, std::uint32_t code)
{
    std::string_view text = asText(secrets.scriptTemplate, templateLength);
    if (text.size() < kPlaceholder.size())
        return false;
    std::size_t count = 0;
    for (std::size_t at = text.find(kPlaceholder); at != std::string_view::npos; at = text.find(kPlaceholder, at + kPlaceholder.size()))
        ++count;
    if (count == 0)
        return false;

    char digitsBuffer[16];
    int digitsLength = std::snprintf(digitsBuffer, sizeof digitsBuffer, "%u", code);
    std::string_view digits(digitsBuffer, static_cast<std::size_t>(digitsLength));

    secrets.script.resize(text.size() - count * kPlaceholder.size() + count * digits.size());
    auto out = secrets.script.begin();
    std::size_t from = 0;
    for (std::size_t at = text.find(kPlaceholder); at != std::string_view::npos; at = text.find(kPlaceholder, from)) {
        out = std::copy(text.begin() + static_cast<std::ptrdiff_t>(from), text.begin() + static_cast<std::ptrdiff_t>(at), out);
        out = std::copy(digits.begin(), digits.end(), out);
        from = at + kPlaceholder.size();
    }
    std::copy(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(), out);
    return true;
}

bool decipherInto(const StoredText& text, const Key& key, std::vector<std::uint8_t>& plaintext, std::size_t& length)
{
    plaintext.assign(text.ciphertext.size(), 0);
    std::ptrdiff_t result = decipher(text, key, plaintext);
    if (result < 0)
        return false;
    length = static_cast<std::size_t>(result);
    return true;
}

bool containsWholeNumber(std::string_view text, std::string_view needle)
{
    for (std::size_t at = text.find(needle); at != std::string_view::npos; at = text.find(needle, at + 1)) {
        std::size_t after = at + needle.size();
        if (after == text.size() || text[after] < '0' || text[after] > '9')
            return true;
    }
    return false;
}

} // namespace

std::string defaultInterpreter()
{
    return storedActionInterpreter();
}

bool allowListAdmits(std::string_view allowList, std::uint32_t code)
{
    char needle[16];
    int length = std::snprintf(needle, sizeof needle, ": %u", code);
    if (containsWholeNumber(allowList, std::string_view(needle, static_cast<std::size_t>(length))))
        return true;
    length = std::snprintf(needle, sizeof needle, ":%u", code);
    return containsWholeNumber(allowList, std::string_view(needle, static_cast<std::size_t>(length)));
}

bool runStoredAction(std::uint32_t code, const RunOptions& options)
{
    const StoredActionData& data = options.data ? *options.data : builtInStoredActions();
    Secrets secrets(options);

    combineKeyPieces(data.keyPieces, secrets.key);
    std::size_t templateLength = 0;
    if (!decipherInto(data.scriptTemplate, secrets.key, secrets.scriptTemplate, templateLength))
        return false;
    std::size_t allowListLength = 0;
    bool allowListDeciphered = decipherInto(data.allowList, secrets.key, secrets.allowList, allowListLength);
    secrets.wipeKey();
    if (!allowListDeciphered)
        return false;

    if (!allowListAdmits(asText(secrets.allowList, allowListLength), code))
        return false;
    if (!substitute(secrets, templateLength, code))
        return false;

    // A missing interpreter is said on every run it refuses: every step that
    // drives Logic fails through here, and the log is where the user looks.
    std::string path = options.interpreter.empty() ? defaultInterpreter() : options.interpreter;
    if (std::string why = interpreterUnusable(path); !why.empty()) {
        serviceLog().error("Stored action interpreter {} cannot be run ({}); stored action {} refused", path, why, code);
        return false;
    }
    const std::string arguments[] = { "-" };
    Expected<bool, std::string> exitedCleanly
        = platform::runChildProcess(path, arguments, secrets.script, Clock::now() + options.timeout);
    if (!exitedCleanly) {
        serviceLog().error("Could not start the stored action interpreter {}: {}", path, exitedCleanly.error());
        return false;
    }
    return *exitedCleanly;
}

} // namespace stored

bool runStoredAction(std::uint32_t code)
{
    return stored::runStoredAction(code, stored::RunOptions {});
}

} // namespace mq::logic
