// A value or the error that stopped it from being made: the one result type of
// operations that can fail (the accessibility layer's reads, the Logic-driving
// operations, the codecs, the shared-memory blocks). Failures travel as values;
// nothing here throws. MQ_TRY passes a failure on to the caller.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

namespace mq {

/// An error wrapped so that it cannot be mistaken for a value, even where the
/// value type could be built from the error type.
template<typename E>
struct Unexpected {
    E error;
};

/// `error` as the failure of an Expected.
template<typename E>
Unexpected<std::decay_t<E>> unexpected(E&& error)
{
    return Unexpected<std::decay_t<E>> { std::forward<E>(error) };
}

namespace detail {
template<typename U>
inline constexpr bool isUnexpected = false;
template<typename G>
inline constexpr bool isUnexpected<Unexpected<G>> = true;

[[noreturn]] inline void expectedMisuse(const char* what)
{
    std::fprintf(stderr, "Expected: %s\n", what);
    std::abort();
}
} // namespace detail

/// Either a `T` or an `E`. Built from a `T` (a success) or from unexpected(e) (a
/// failure). Reading the value of a failure, or the error of a success, is a bug
/// and aborts with a message.
template<typename T, typename E>
class [[nodiscard]] Expected {
public:
    template<typename U = T, typename = std::enable_if_t<std::is_constructible_v<T, U&&>>>
    Expected(U&& value)
        : m_storage(std::in_place_index<0>, std::forward<U>(value))
    {
    }
    template<typename G>
    Expected(Unexpected<G> failure)
        : m_storage(std::in_place_index<1>, std::move(failure.error))
    {
    }

    bool hasValue() const { return m_storage.index() == 0; }
    explicit operator bool() const { return hasValue(); }

    const T& value() const&
    {
        if (!hasValue())
            detail::expectedMisuse("value() of a failure");
        return std::get<0>(m_storage);
    }
    T& value() &
    {
        if (!hasValue())
            detail::expectedMisuse("value() of a failure");
        return std::get<0>(m_storage);
    }
    T&& value() &&
    {
        if (!hasValue())
            detail::expectedMisuse("value() of a failure");
        return std::get<0>(std::move(m_storage));
    }
    const T* operator->() const { return &value(); }
    const T& operator*() const& { return value(); }
    T&& operator*() && { return std::move(*this).value(); }

    const E& error() const&
    {
        if (hasValue())
            detail::expectedMisuse("error() of a success");
        return std::get<1>(m_storage);
    }
    E&& error() &&
    {
        if (hasValue())
            detail::expectedMisuse("error() of a success");
        return std::get<1>(std::move(m_storage));
    }

    /// The value, or `fallback` for a failure.
    template<typename U>
    T valueOr(U&& fallback) const&
    {
        return hasValue() ? std::get<0>(m_storage) : static_cast<T>(std::forward<U>(fallback));
    }
    template<typename U>
    T valueOr(U&& fallback) &&
    {
        return hasValue() ? std::get<0>(std::move(m_storage)) : static_cast<T>(std::forward<U>(fallback));
    }

    /// A success equal to `value`, as std::expected compares.
    template<typename U>
        requires(!std::is_same_v<U, Expected> && !detail::isUnexpected<U>)
    friend bool operator==(const Expected& result, const U& value)
    {
        return result.hasValue() && result.value() == value;
    }
    /// A failure with an equal error.
    template<typename G>
    friend bool operator==(const Expected& result, const Unexpected<G>& failure)
    {
        return !result.hasValue() && result.error() == failure.error;
    }

private:
    std::variant<T, E> m_storage;
};

/// An operation that gives no value: success, or an `E`.
template<typename E>
class [[nodiscard]] Expected<void, E> {
public:
    Expected() = default;
    template<typename G>
    Expected(Unexpected<G> failure)
        : m_error(std::move(failure.error))
    {
    }

    bool hasValue() const { return !m_error.has_value(); }
    explicit operator bool() const { return hasValue(); }

    /// Nothing: lets code written for any Expected (MQ_TRY) take the value of a success.
    void value() const
    {
        if (!hasValue())
            detail::expectedMisuse("value() of a failure");
    }

    const E& error() const&
    {
        if (!m_error)
            detail::expectedMisuse("error() of a success");
        return *m_error;
    }
    E&& error() &&
    {
        if (!m_error)
            detail::expectedMisuse("error() of a success");
        return std::move(*m_error);
    }

private:
    std::optional<E> m_error;
};

/// The value of the Expected `expression`; a failure returns its error from the
/// enclosing function at once (which must give an Expected, or an Unexpected-convertible
/// result, of a compatible error type). For an Expected<void, E> it is a statement.
/// A GNU statement expression: GCC and Clang, the compilers this code builds with.
#define MQ_TRY(expression)                                                                                             \
    __extension__({                                                                                                    \
        auto&& mqTryResult_ = (expression);                                                                            \
        if (!mqTryResult_.hasValue())                                                                                  \
            return ::mq::unexpected(std::move(mqTryResult_).error());                                                 \
        std::move(mqTryResult_).value();                                                                               \
    })

} // namespace mq
