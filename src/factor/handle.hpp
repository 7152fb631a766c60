// The value handle: one pointer to a value object that counts its holders itself, without atomics.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

namespace vorla {

class cycle_registry;

// The holder count every value object carries. Scripts run on one thread, so the count is a plain
// integer: copying a handle is one increment, not a locked instruction, and the handle is a single
// pointer wide (a vector element costs the handle plus the object, nothing more).
class counted {
public:
    counted(const counted&) noexcept {}  // a copy is a new object: nobody holds it yet
    counted& operator=(const counted&) = delete;

    // Values are made and dropped on almost every step: they come from free lists kept per size, with
    // no header in front, so a small value costs its own bytes only. (Sanitizer builds use the heap.)
    // Both are inline: taking or returning a block is a few instructions, worth no call.
    static void* operator new(std::size_t size);
    static void operator delete(void* p, std::size_t size) noexcept;

protected:
    counted() noexcept = default;
    ~counted() = default;

private:
    template <class T>
    friend class handle;
    friend class cycle_registry;  // reads the counts it tries deletion on
    mutable std::uint32_t holders_ = 0;
};

namespace value_pool {

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool pooled = false;  // the sanitizer must see every allocation
#else
inline constexpr bool pooled = true;
#endif

inline constexpr std::size_t granule = 8;
inline constexpr std::size_t classes = 32;  // objects up to 256 bytes are pooled

struct free_block {
    free_block* next;
};

// One set of lists per thread: interpreters on different threads run at the same time, and a list is
// touched by no lock. A block freed on another thread than the one that carved it simply joins that
// thread's list; chunks are never returned, so nothing is lost. Constant-initialised and trivially
// destroyed, so every access is a plain thread-local load with no wrapper call.
inline thread_local free_block* free_lists[classes + 1] = {};

constexpr std::size_t size_class(std::size_t size) { return (size + granule - 1) / granule; }

// A new block of class cls, for when its list is empty (handle.cpp).
void* refill(std::size_t cls);

// A block of `size` bytes from its class's list; larger ones from the heap.
inline void* take(std::size_t size)
{
    const std::size_t cls = size_class(size);
    if (!pooled || cls == 0 || cls > classes) return ::operator new(size);
    if (free_block* b = free_lists[cls]) {
        free_lists[cls] = b->next;
        return b;
    }
    return refill(cls);
}

// Returns a block that take(size) gave.
inline void give(void* p, std::size_t size) noexcept
{
    if (!p) return;
    const std::size_t cls = size_class(size);
    if (!pooled || cls == 0 || cls > classes) {
        ::operator delete(p);  // unsized: clang offers the sized form only with -fsized-deallocation
        return;
    }
    auto* b = static_cast<free_block*>(p);
    b->next = free_lists[cls];
    free_lists[cls] = b;
}

// A standard allocator over the same lists, for containers that allocate one node at a time (a hash
// entry): a node costs a list pop instead of a malloc. Arrays (bucket tables) come from the heap.
template <class T>
struct allocator {
    using value_type = T;
    allocator() noexcept = default;
    template <class U>
    allocator(const allocator<U>&) noexcept {}
    T* allocate(std::size_t n)
    {
        static_assert(alignof(T) <= granule);
        return n == 1 ? static_cast<T*>(take(sizeof(T))) : std::allocator<T>().allocate(n);
    }
    void deallocate(T* p, std::size_t n) noexcept
    {
        if (n == 1) give(p, sizeof(T));
        else std::allocator<T>().deallocate(p, n);
    }
    template <class U>
    bool operator==(const allocator<U>&) const noexcept { return true; }
};

} // namespace value_pool

inline void* counted::operator new(std::size_t size) { return value_pool::take(size); }
inline void counted::operator delete(void* p, std::size_t size) noexcept { value_pool::give(p, size); }

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
