#include "tests/support/ScriptedInputEvents.h"

namespace mq::test {

std::vector<PostedEvent> ScriptedInputEvents::posted() const
{
    std::lock_guard lock(m_mutex);
    return m_posted;
}

std::vector<platform::KeyboardEvent> ScriptedInputEvents::keyboardEvents() const
{
    std::lock_guard lock(m_mutex);
    std::vector<platform::KeyboardEvent> events;
    for (const PostedEvent& posted : m_posted)
        if (const auto* keyboard = std::get_if<platform::KeyboardEvent>(&posted.event))
            events.push_back(*keyboard);
    return events;
}

void ScriptedInputEvents::setKeyboardHook(std::function<void(const platform::KeyboardEvent&)> hook)
{
    std::lock_guard lock(m_mutex);
    m_keyboardHook = std::move(hook);
}

void ScriptedInputEvents::postKeyboardEvent(const platform::KeyboardEvent& event)
{
    std::function<void(const platform::KeyboardEvent&)> hook;
    {
        std::lock_guard lock(m_mutex);
        m_posted.push_back(PostedEvent { event, std::chrono::steady_clock::now() });
        hook = m_keyboardHook;
    }
    if (hook)
        hook(event);
}

void ScriptedInputEvents::postMouseEvent(const platform::MouseEvent& event)
{
    std::lock_guard lock(m_mutex);
    m_posted.push_back(PostedEvent { event, std::chrono::steady_clock::now() });
}

platform::CGPoint ScriptedInputEvents::cursorPosition()
{
    std::lock_guard lock(m_mutex);
    return m_cursor;
}

void ScriptedInputEvents::warpCursor(platform::CGPoint location)
{
    std::lock_guard lock(m_mutex);
    m_cursor = location;
}

} // namespace mq::test
