// Ownership of one Core Foundation reference: what a Create or Copy call hands
// over is released exactly once, on every path, when the holder goes away.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <utility>

namespace mq::platform::macos {

template<typename Ref>
class CFHolder {
public:
    CFHolder() = default;
    /// Takes over `ref`, which the caller owns (the result of a Create or Copy call).
    explicit CFHolder(Ref ref)
        : m_ref(ref)
    {
    }
    /// Holds `ref`, which the caller does not own (a Get call's result), by retaining it.
    static CFHolder retained(Ref ref)
    {
        if (ref)
            CFRetain(ref);
        return CFHolder(ref);
    }
    ~CFHolder() { reset(); }

    CFHolder(CFHolder&& other) noexcept
        : m_ref(std::exchange(other.m_ref, nullptr))
    {
    }
    CFHolder& operator=(CFHolder&& other) noexcept
    {
        if (this != &other) {
            reset();
            m_ref = std::exchange(other.m_ref, nullptr);
        }
        return *this;
    }
    CFHolder(const CFHolder&) = delete;
    CFHolder& operator=(const CFHolder&) = delete;

    Ref get() const { return m_ref; }
    explicit operator bool() const { return m_ref != nullptr; }

    /// Where a Copy call writes the reference it hands over; whatever was held is released first.
    Ref* out()
    {
        reset();
        return &m_ref;
    }

    /// Hands the reference over to the caller, who now owns it.
    Ref release() { return std::exchange(m_ref, nullptr); }

    void reset()
    {
        if (m_ref) {
            CFRelease(m_ref);
            m_ref = nullptr;
        }
    }

private:
    Ref m_ref { nullptr };
};

} // namespace mq::platform::macos
