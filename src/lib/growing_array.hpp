// An array of one-pointer handles that grows without copying: big arrays live in huge-page mappings moved by mremap.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

#include "lib/huge_pages.hpp"

namespace lib {

// std::vector's growth allocates a new block, copies into it and frees the old one: for an array of a
// million handles every doubling makes the kernel zero fresh pages and the old ones go back to it, so
// about twice the final size is zeroed, and for a moment both blocks are held. Here an element moves as
// its bytes (T must be relocatable by memcpy, as a handle holding one pointer is), so a small array grows
// by realloc and a big one, mapped in huge pages, by mremap: the kernel moves the pages it already has.
//
// Sanitizer builds keep every array on the heap, so the sanitizer sees each block and access.
template <class T>
class growing_array {
public:
    using value_type = T;
    using iterator = T*;
    using const_iterator = const T*;
    using size_type = std::size_t;

    growing_array() noexcept = default;
    growing_array(growing_array&& o) noexcept
        : data_(std::exchange(o.data_, nullptr)), size_(std::exchange(o.size_, 0)), capacity_(std::exchange(o.capacity_, 0))
    {
    }
    growing_array& operator=(growing_array&& o) noexcept
    {
        growing_array(std::move(o)).swap(*this);
        return *this;
    }
    growing_array(const growing_array&) = delete;
    growing_array& operator=(const growing_array&) = delete;
    ~growing_array()
    {
        clear();
        release(data_, capacity_);
    }

    T* begin() noexcept { return data_; }
    T* end() noexcept { return data_ + size_; }
    const T* begin() const noexcept { return data_; }
    const T* end() const noexcept { return data_ + size_; }
    std::size_t size() const noexcept { return size_; }
    std::size_t capacity() const noexcept { return capacity_; }
    bool empty() const noexcept { return size_ == 0; }
    T& operator[](std::size_t i) noexcept { return data_[i]; }
    const T& operator[](std::size_t i) const noexcept { return data_[i]; }
    T& front() noexcept { return data_[0]; }
    T& back() noexcept { return data_[size_ - 1]; }
    const T& front() const noexcept { return data_[0]; }
    const T& back() const noexcept { return data_[size_ - 1]; }

    void reserve(std::size_t n)
    {
        if (n > capacity_) move_to(n);
    }
    void push_back(T&& x)
    {
        if (size_ == capacity_) move_to(next_capacity());
        new (data_ + size_) T(std::move(x));
        ++size_;
    }
    void push_back(const T& x) { push_back(T(x)); }
    void pop_back() noexcept { data_[--size_].~T(); }
    void clear() noexcept
    {
        // From the back, as the elements were made.
        while (size_ > 0) pop_back();
    }
    void swap(growing_array& o) noexcept
    {
        std::swap(data_, o.data_);
        std::swap(size_, o.size_);
        std::swap(capacity_, o.capacity_);
    }

    // Puts x before `at`, moving the later elements up by their bytes; returns the new element.
    T* insert(T* at, T&& x)
    {
        const std::size_t i = static_cast<std::size_t>(at - data_);
        T made(std::move(x));  // taken before a move of the array, should x be one of its elements
        if (size_ == capacity_) move_to(next_capacity());
        std::memmove(static_cast<void*>(data_ + i + 1), data_ + i, (size_ - i) * sizeof(T));
        new (data_ + i) T(std::move(made));
        ++size_;
        return data_ + i;
    }
    // Removes the element at `at`, moving the later ones down; returns what now stands there.
    T* erase(T* at) noexcept
    {
        const std::size_t i = static_cast<std::size_t>(at - data_);
        at->~T();
        std::memmove(static_cast<void*>(data_ + i), data_ + i + 1, (size_ - i - 1) * sizeof(T));
        --size_;
        return data_ + i;
    }

    // Whether arrays of `capacity` elements live in huge-page mappings (else on the heap).
    static bool mapped(std::size_t capacity) noexcept { return !on_heap_only && capacity * sizeof(T) >= huge_page; }

private:
    static_assert(std::is_nothrow_move_constructible_v<T>);

#if defined(__SANITIZE_ADDRESS__)
    static constexpr bool on_heap_only = true;
#else
    static constexpr bool on_heap_only = false;
#endif

    std::size_t next_capacity() const noexcept { return capacity_ == 0 ? 4 : capacity_ * 2; }

    // A mapped array takes whole huge pages, so its capacity is rounded up to fill them.
    static std::size_t fitted(std::size_t n) noexcept
    {
        if (!mapped(n)) return n;
        return huge_pages_for(n * sizeof(T)) / sizeof(T);
    }

    // Gives the array room for n elements, keeping its contents.
    void move_to(std::size_t n)
    {
        n = fitted(n);
        const std::size_t old_bytes = capacity_ * sizeof(T);
        const std::size_t new_bytes = n * sizeof(T);
        void* p = nullptr;
        if (!mapped(n)) {
            p = std::realloc(static_cast<void*>(data_), new_bytes);  // a handle's bytes may move: realloc's copy is a move
        } else if (mapped(capacity_)) {
            p = huge_mapping_grow(data_, old_bytes, new_bytes);
        } else {
            p = huge_mapping(new_bytes);
            if (p) {
                if (size_ > 0) std::memcpy(p, static_cast<void*>(data_), size_ * sizeof(T));
                std::free(static_cast<void*>(data_));
            }
        }
        if (!p) throw std::bad_alloc();
        data_ = static_cast<T*>(p);
        capacity_ = n;
    }

    static void release(T* data, std::size_t capacity) noexcept
    {
        if (!data) return;
        if (mapped(capacity)) huge_mapping_free(data, capacity * sizeof(T));
        else std::free(static_cast<void*>(data));
    }

    T* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

} // namespace lib
