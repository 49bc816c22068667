#pragma once
// One move-only owner for every kind of system handle. A traits struct names the
// handle type, its empty value and how it is closed.

#include <utility>

namespace rk {

template <typename Traits> class UniqueAny {
public:
    using Type = typename Traits::Type;

    UniqueAny() noexcept : m_value(Traits::empty()) {}
    explicit UniqueAny(Type value) noexcept : m_value(value) {}
    ~UniqueAny() { reset(); }

    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;

    UniqueAny(UniqueAny&& other) noexcept : m_value(other.release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    Type get() const noexcept { return m_value; }
    bool valid() const noexcept { return m_value != Traits::empty(); }
    explicit operator bool() const noexcept { return valid(); }

    Type release() noexcept { return std::exchange(m_value, Traits::empty()); }

    void reset(Type value = Traits::empty()) noexcept
    {
        if (m_value != Traits::empty())
            Traits::close(m_value);
        m_value = value;
    }

    // For out-parameters: closes what is held and hands out the slot.
    Type* put() noexcept
    {
        reset();
        return &m_value;
    }

private:
    Type m_value;
};

} // namespace rk
