// The value handle: one pointer to a value object that counts its holders itself, without atomics.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

namespace vorla {

// The holder count every value object carries. Scripts run on one thread, so the count is a plain
// integer: copying a handle is one increment, not a locked instruction, and the handle is a single
// pointer wide (a vector element costs the handle plus the object, nothing more).
class counted {
public:
    counted(const counted&) noexcept {}  // a copy is a new object: nobody holds it yet
    counted& operator=(const counted&) = delete;

    // Values are made and dropped on almost every step: they come from free lists kept per size, with
    // no header in front, so a small value costs its own bytes only. (Sanitizer builds use the heap.)
    static void* operator new(std::size_t size);
    static void operator delete(void* p, std::size_t size) noexcept;

protected:
    counted() noexcept = default;
    ~counted() = default;

private:
    template <class T>
    friend class handle;
    mutable std::uint32_t holders_ = 0;
};

// An owning pointer to a counted object of class T (or a class derived from it). The last handle to
// let go deletes the object through its virtual destructor.
template <class T>
class handle {
public:
    using element_type = T;

    handle() noexcept = default;
    handle(std::nullptr_t) noexcept {}
    // Takes a new object, or shares one already held elsewhere.
    explicit handle(T* p) noexcept : p_(p) { retain(); }
    handle(const handle& o) noexcept : p_(o.p_) { retain(); }
    handle(handle&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    template <class U>
        requires std::is_convertible_v<U*, T*>
    handle(const handle<U>& o) noexcept : p_(o.get())
    {
        retain();
    }
    template <class U>
        requires std::is_convertible_v<U*, T*>
    handle(handle<U>&& o) noexcept : p_(o.release_ownership())
    {
    }
    ~handle() { drop(); }

    handle& operator=(const handle& o) noexcept
    {
        handle(o).swap(*this);
        return *this;
    }
    handle& operator=(handle&& o) noexcept
    {
        handle(std::move(o)).swap(*this);
        return *this;
    }
    handle& operator=(std::nullptr_t) noexcept
    {
        reset();
        return *this;
    }

    T* get() const noexcept { return p_; }
    T& operator*() const noexcept { return *p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }

    void reset() noexcept { handle().swap(*this); }
    void swap(handle& o) noexcept { std::swap(p_, o.p_); }
    // How many handles hold the object (0 when empty): 1 means this handle is its only holder.
    std::uint32_t use_count() const noexcept { return p_ ? p_->holders_ : 0; }

    // Gives up the object without releasing it (for moves between handle types).
    T* release_ownership() noexcept { return std::exchange(p_, nullptr); }

    friend bool operator==(const handle& a, const handle& b) noexcept { return a.p_ == b.p_; }
    friend bool operator==(const handle& a, std::nullptr_t) noexcept { return a.p_ == nullptr; }

private:
    void retain() const noexcept
    {
        if (p_) ++p_->holders_;
    }
    void drop() noexcept
    {
        if (p_ && --p_->holders_ == 0) delete p_;
    }

    T* p_ = nullptr;
};

// A new object of class T held by a new handle.
template <class T, class... A>
handle<T> make(A&&... a)
{
    return handle<T>(new T(std::forward<A>(a)...));
}

// Casts between handle types, sharing the object.
template <class T, class U>
handle<T> static_handle_cast(const handle<U>& h) noexcept
{
    return handle<T>(static_cast<T*>(h.get()));
}
template <class T, class U>
handle<T> dynamic_handle_cast(const handle<U>& h) noexcept
{
    return handle<T>(dynamic_cast<T*>(h.get()));
}

} // namespace vorla
