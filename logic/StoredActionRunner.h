// The stored action runner: runs one of the small scripts that the helper carries
// enciphered inside itself, by number, through the system's script interpreter.
//
// Every run deciphers the script template and the allow-list afresh, checks the
// code against the list, puts the code into the template and feeds the script to
// a new interpreter process on its standard input. The key and every plaintext
// buffer are wiped on every path. Callers log their own steps; the runner logs only
// an interpreter that cannot be started, the one failure no caller can explain.
#pragma once

#include "logic/StoredCipher.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace mq::logic {

/// Runs stored action `code` and answers whether the interpreter ended with exit
/// status 0. Synchronous; callable from any thread; keeps no state between runs.
/// A code that the allow-list does not admit answers false and starts nothing.
bool runStoredAction(std::uint32_t code);

namespace stored {

/// The interpreter this build hands the scripts to ("/usr/bin/osascript" on macOS;
/// see StoredActionInterpreter.h for how it is found).
std::string defaultInterpreter();

/// How long a run waits for the interpreter before it ends it and answers false.
inline constexpr std::chrono::milliseconds kDefaultInterpreterTimeout { 60'000 };

/// A secret buffer at the moment of its release, after its wipe.
struct ReleasedBuffer {
    std::string_view name; // "key", "template", "allowList" or "script"
    const std::uint8_t* data;
    std::size_t size;
};

/// What a run uses; the defaults are the build's own. Tests replace parts.
struct RunOptions {
    /// The stored texts and key pieces; the built-in ones when null.
    const StoredActionData* data { nullptr };
    /// The interpreter's path; defaultInterpreter() when empty. It is started
    /// with the single argument "-".
    std::string interpreter;
    std::chrono::milliseconds timeout { kDefaultInterpreterTimeout };
    /// Called once per run, on every path, with every secret buffer of the run
    /// (those not allocated on that path have size 0) just before they are freed.
    std::function<void(std::span<const ReleasedBuffer>)> beforeRelease;
};

bool runStoredAction(std::uint32_t code, const RunOptions& options);

/// Whether `allowList` admits `code`: ": CODE" or ":CODE" in decimal, as a whole
/// number (the character after it is not a digit, or the text ends there).
bool allowListAdmits(std::string_view allowList, std::uint32_t code);

} // namespace stored

} // namespace mq::logic
