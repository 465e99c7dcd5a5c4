// What the monitor tests share: a main run loop on its own thread that jobs are
// run on synchronously (bounded), a scripted Logic whose windows, control bar and
// time display a test arranges, and a private directory for shared-memory files.
#pragma once

#include "ax/SystemWideElement.h"
#include "monitors/ProjectCloseWatcher.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "tests/support/Eventually.h"
#include "tests/support/ScriptedPlatform.h"
#include "tests/support/TempRuntimeDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <mutex>
#include <set>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace mq::monitors::testing {

using namespace std::chrono_literals;
using platform::AXElementRef;
using platform::CFArray;
using platform::CFValue;

inline constexpr platform::pid_type kLogicPid = 700;

/// Starts a watch on a watcher without a read queue (main thread), which answers
/// within the call; false also when it did not answer.
inline bool startWatch(ProjectCloseWatcher& watcher, const std::string& path)
{
    std::optional<bool> answer;
    watcher.start(path, [&answer](bool started) { answer = started; });
    EXPECT_TRUE(answer.has_value()) << "a watcher without a read queue answers within the call";
    return answer.value_or(false);
}

/// The main run loop, run by a thread of its own for the fixture's lifetime.
class MainLoopThread {
public:
    MainLoopThread()
        : m_thread([this] { loop.run(); })
    {
    }
    ~MainLoopThread()
    {
        loop.stop();
        m_thread.join();
    }

    /// Runs `job` on the main thread and waits (at most 10 s) for its result.
    template<typename Function>
    auto sync(Function job) -> decltype(job())
    {
        using Result = decltype(job());
        auto promise = std::make_shared<std::promise<Result>>();
        std::future<Result> future = promise->get_future();
        loop.async([promise, job = std::move(job)]() mutable {
            if constexpr (std::is_void_v<Result>) {
                job();
                promise->set_value();
            } else {
                promise->set_value(job());
            }
        });
        if (future.wait_for(10s) != std::future_status::ready) {
            ADD_FAILURE() << "the main run loop did not run a job within 10 s";
            std::abort(); // The job still refers to the caller's frame.
        }
        return future.get();
    }

    RunLoop loop;

private:
    std::thread m_thread;
};

/// One field slider of a time display.
struct SliderField {
    std::string description;
    std::optional<std::string> value; // AXValueDescription; absent: not readable
    double x;
};

/// The fields of an hh:mm:ss:ff display at x = 10, 20, 30, 40.
inline std::vector<SliderField> timeSliders(const std::vector<std::string>& values = { "01", "00", "00", "00" })
{
    std::vector<SliderField> sliders { { "Hour", {}, 10 }, { "Minute", {}, 20 }, { "Second", {}, 30 }, { "Frame", {}, 40 } };
    for (std::size_t i = 0; i < sliders.size() && i < values.size(); ++i)
        sliders[i].value = values[i];
    return sliders;
}

/// A scripted Logic Pro: windows, a control bar and a display.
class LogicScene {
public:
    explicit LogicScene(test::ScriptedPlatform& scripted)
        : m_scripted(scripted)
    {
    }

    /// Logic is running, with no windows.
    void startLogic()
    {
        m_scripted.workspace.addRunningApplication(platform::RunningApplication { std::string("com.apple.logic10"), kLogicPid, std::string("Logic Pro") });
        application = m_scripted.accessibility.addApplication(kLogicPid);
        m_scripted.accessibility.setAttribute(application, "AXWindows", CFArray {});
    }

    /// Logic has quit: gone from the running applications, its elements invalid.
    void quitLogic()
    {
        m_scripted.workspace.setRunningApplications({});
        m_scripted.accessibility.quit(kLogicPid);
    }

    /// A new project window; `document` is its AXDocument (none for untitled).
    AXElementRef addWindow(const std::string& title, std::optional<std::string> document = std::nullopt)
    {
        AXElementRef window = m_scripted.accessibility.addWindow(application, title);
        if (document)
            m_scripted.accessibility.setAttribute(window, "AXDocument", *document);
        windows.push_back(window);
        return window;
    }

    /// The window closes: it leaves Logic's windows (and the main and focused
    /// window), and its element is gone, as a closed window's is.
    void closeWindow(const AXElementRef& window)
    {
        hideWindow(window);
        m_scripted.accessibility.destroy(window);
    }

    /// The window leaves Logic's windows but stays (full screen on another Space).
    void hideWindow(const AXElementRef& window)
    {
        windows.erase(std::remove(windows.begin(), windows.end(), window), windows.end());
        CFArray list;
        for (const AXElementRef& remaining : windows)
            list.emplace_back(remaining);
        m_scripted.accessibility.setAttribute(application, "AXWindows", list);
        for (const char* attribute : { "AXMainWindow", "AXFocusedWindow" })
            if (m_scripted.accessibility.storedAttribute(application, attribute) == std::optional<CFValue>(window))
                m_scripted.accessibility.removeAttribute(application, attribute);
    }

    void setMainWindow(const AXElementRef& window)
    {
        m_scripted.accessibility.setAttribute(application, "AXMainWindow", window);
        m_scripted.accessibility.setAttribute(application, "AXFocusedWindow", window);
    }

    /// An AXGroup child of `parent` described `description` (none: no AXDescription).
    AXElementRef addGroup(const AXElementRef& parent, std::optional<std::string> description = std::nullopt)
    {
        AXElementRef group = m_scripted.accessibility.addChild(parent, "AXGroup");
        if (description)
            m_scripted.accessibility.setAttribute(group, "AXDescription", *description);
        return group;
    }

    /// Slider children of `group`, in the given (accessibility) order.
    std::vector<AXElementRef> addSliders(const AXElementRef& group, const std::vector<SliderField>& fields)
    {
        std::vector<AXElementRef> sliders;
        for (const SliderField& field : fields) {
            AXElementRef slider = m_scripted.accessibility.addChild(group, "AXSlider");
            m_scripted.accessibility.setAttribute(slider, "AXDescription", field.description);
            if (field.value)
                m_scripted.accessibility.setAttribute(slider, "AXValueDescription", *field.value);
            m_scripted.accessibility.setAttribute(slider, "AXPosition", platform::AXValue(platform::CGPoint { field.x, 5 }));
            sliders.push_back(slider);
        }
        return sliders;
    }

    /// A project window with a control bar holding an hh:mm:ss:ff display; the
    /// display's sliders end up in `display`.
    AXElementRef addProjectWithDisplay(const std::vector<SliderField>& fields = timeSliders(), const std::string& document = "/Music/Film.logicx")
    {
        AXElementRef window = addWindow("Film", document);
        AXElementRef bar = addGroup(window, std::string("Control Bar"));
        displayGroup = addGroup(bar);
        display = addSliders(displayGroup, fields);
        return window;
    }

    /// Sets the value descriptions of the display's first sliders.
    void showTime(const std::vector<std::string>& values)
    {
        for (std::size_t i = 0; i < values.size() && i < display.size(); ++i)
            m_scripted.accessibility.setAttribute(display[i], "AXValueDescription", values[i]);
    }

    AXElementRef application;
    std::vector<AXElementRef> windows;
    AXElementRef displayGroup;
    std::vector<AXElementRef> display;

private:
    test::ScriptedPlatform& m_scripted;
};

/// Stands for a Logic that does not answer: while held, every scripted
/// accessibility call waits until released (at most 10 s, so that a failing test
/// cannot hang). Records the threads that called.
class LogicGate {
public:
    explicit LogicGate(test::ScriptedAccessibility& accessibility)
        : m_accessibility(accessibility)
    {
        m_accessibility.setCallHook([this](const test::RecordedAXCall&) {
            {
                std::lock_guard lock(m_mutex);
                m_threads.insert(std::this_thread::get_id());
            }
            if (m_held.load())
                m_opened.wait_for(std::chrono::seconds(10));
        });
    }
    ~LogicGate()
    {
        release();
        m_accessibility.setCallHook({});
    }
    LogicGate(const LogicGate&) = delete;
    LogicGate& operator=(const LogicGate&) = delete;

    void hold() { m_held.store(true); }
    /// Lets every waiting and later call through; once only.
    void release()
    {
        if (m_held.exchange(false))
            m_opener.set_value();
    }
    bool called() const
    {
        std::lock_guard lock(m_mutex);
        return !m_threads.empty();
    }
    bool calledOn(std::thread::id thread) const
    {
        std::lock_guard lock(m_mutex);
        return m_threads.contains(thread);
    }

private:
    test::ScriptedAccessibility& m_accessibility;
    mutable std::mutex m_mutex;
    std::set<std::thread::id> m_threads;
    std::atomic<bool> m_held { false };
    std::promise<void> m_opener;
    std::shared_future<void> m_opened { m_opener.get_future().share() };
};

/// Waits (at most 10 s, checking every millisecond) until `condition` holds.
inline void waitUntil(const std::function<bool()>& condition)
{
    ASSERT_TRUE(test::eventually(condition, 10s, 1ms)) << "not within 10 s";
}

/// The fixture: capture the log, run the main loop, script Logic, keep files apart.
class MonitorFixture : public ::testing::Test {
public:
    void TearDown() override { ax::SystemWideElement::releaseShared(scripted.accessibility); }

    /// Lines of `category` whose message is exactly `message`.
    std::size_t linesExactly(std::string_view message, std::string_view category) const
    {
        std::vector<log::CapturedLine> lines = capture.lines();
        return static_cast<std::size_t>(std::count_if(lines.begin(), lines.end(),
            [&](const log::CapturedLine& line) { return line.category == category && line.message == message; }));
    }
    std::optional<log::Level> levelOf(std::string_view message, std::string_view category) const
    {
        for (const log::CapturedLine& line : capture.lines())
            if (line.category == category && line.message == message)
                return line.level;
        return std::nullopt;
    }

    log::LogCapture capture;
    test::ScriptedPlatform scripted;
    LogicScene scene { scripted };
    test::TempRuntimeDir files;
    MainLoopThread main; // Last: stopped and joined first.
};

} // namespace mq::monitors::testing
