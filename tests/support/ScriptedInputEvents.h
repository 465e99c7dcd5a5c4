// An in-process input-event backend for component tests: records every posted
// keyboard and mouse event with the time it was posted.
#pragma once

#include "platform/InputEvents.h"

#include <chrono>
#include <functional>
#include <mutex>
#include <variant>
#include <vector>

namespace mq::test {

struct PostedEvent {
    std::variant<platform::KeyboardEvent, platform::MouseEvent> event;
    std::chrono::steady_clock::time_point postedAt;
};

class ScriptedInputEvents final : public platform::InputEvents {
public:
    std::vector<PostedEvent> posted() const;
    std::vector<platform::KeyboardEvent> keyboardEvents() const;
    /// Runs after each keyboard event is recorded (outside the lock).
    void setKeyboardHook(std::function<void(const platform::KeyboardEvent&)> hook);

    void postKeyboardEvent(const platform::KeyboardEvent& event) override;
    void postMouseEvent(const platform::MouseEvent& event) override;
    platform::CGPoint cursorPosition() override;
    void warpCursor(platform::CGPoint location) override;

private:
    mutable std::mutex m_mutex;
    std::vector<PostedEvent> m_posted;
    std::function<void(const platform::KeyboardEvent&)> m_keyboardHook;
    platform::CGPoint m_cursor;
};

} // namespace mq::test
