// A move-only function wrapper, so that jobs can own one-shot objects such as replies.
#pragma once

#include <cassert>
#include <memory>
#include <type_traits>
#include <utility>

namespace mq {

template<typename Signature>
class UniqueFunction;

template<typename R, typename... Args>
class UniqueFunction<R(Args...)> {
public:
    UniqueFunction() = default;
    UniqueFunction(std::nullptr_t) { }

    template<typename F, typename = std::enable_if_t<!std::is_same_v<std::decay_t<F>, UniqueFunction>>>
    UniqueFunction(F&& function)
        : m_callable(std::make_unique<Model<std::decay_t<F>>>(std::forward<F>(function)))
    {
    }

    UniqueFunction(UniqueFunction&&) noexcept = default;
    UniqueFunction& operator=(UniqueFunction&&) noexcept = default;

    explicit operator bool() const { return m_callable != nullptr; }

    R operator()(Args... args)
    {
        assert(m_callable && "calling an empty UniqueFunction");
        return m_callable->call(std::forward<Args>(args)...);
    }

private:
    struct Concept {
        virtual ~Concept() = default;
        virtual R call(Args... args) = 0;
    };
    template<typename F>
    struct Model final : Concept {
        explicit Model(F&& f)
            : function(std::move(f))
        {
        }
        explicit Model(const F& f)
            : function(f)
        {
        }
        R call(Args... args) override { return function(std::forward<Args>(args)...); }
        F function;
    };
    std::unique_ptr<Concept> m_callable;
};

} // namespace mq
