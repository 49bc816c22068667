#pragma once
// Owner of one COM interface pointer. Copies share the object and each holds
// its own reference, so every copy releases exactly once.

#include <utility>

namespace rk {

template <typename T> class ComPtr {
public:
    ComPtr() noexcept = default;
    ~ComPtr() { reset(); }

    ComPtr(const ComPtr& other) noexcept : m_ptr(other.m_ptr)
    {
        if (m_ptr)
            m_ptr->AddRef();
    }
    ComPtr& operator=(const ComPtr& other) noexcept
    {
        ComPtr copy(other);
        swap(copy);
        return *this;
    }
    ComPtr(ComPtr&& other) noexcept : m_ptr(std::exchange(other.m_ptr, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept
    {
        ComPtr moved(std::move(other));
        swap(moved);
        return *this;
    }

    // Takes over a reference the caller already owns (as out-parameters hand them out).
    static ComPtr adopt(T* ptr) noexcept
    {
        ComPtr owner;
        owner.m_ptr = ptr;
        return owner;
    }

    T* get() const noexcept { return m_ptr; }
    T* operator->() const noexcept { return m_ptr; }
    explicit operator bool() const noexcept { return m_ptr != nullptr; }

    void reset() noexcept
    {
        if (T* old = std::exchange(m_ptr, nullptr))
            old->Release();
    }

    // For out-parameters: releases what is held and hands out the slot.
    T** put() noexcept
    {
        reset();
        return &m_ptr;
    }

    void swap(ComPtr& other) noexcept { std::swap(m_ptr, other.m_ptr); }

private:
    T* m_ptr = nullptr;
};

} // namespace rk
