// The vm's value slot: scalars live inside it; a string is a heap text that the slot owns alone; any other
// value (a vector, an element of one) is the interpreter's counted value object, held by handle.
#pragma once

#include <cstdint>
#include <new>
#include <string>
#include <utility>

#include "factor/factor.hpp"

namespace vorla::vm {

// The kinds a slot holds. The scalar kinds need no heap object at all; those from text on own one.
// `place` is a reference to another register of the fiber (its index in the fiber's stack): a variable
// handed to a reference parameter. It holds no heap object, so it copies as a scalar does.
enum class kind : std::uint8_t { nil, boolean, int_, uint_, float_, double_, place, text, object };

// Strings are values: a variable's string changes in place and no other variable sees it, so each slot
// owns its text outright and a copy of the slot copies the characters. (Sharing a text between slots
// would need a holder count, and a change to decide by that count whether it may write in place.)
class slot {
public:
    slot() noexcept : k_(kind::nil), d_(0) {}
    static slot of_bool(bool b) noexcept { slot s; s.k_ = kind::boolean; s.b_ = b; return s; }
    static slot of_int(std::int32_t i) noexcept { slot s; s.k_ = kind::int_; s.i_ = i; return s; }
    static slot of_uint(std::uint32_t u) noexcept { slot s; s.k_ = kind::uint_; s.u_ = u; return s; }
    static slot of_float(float f) noexcept { slot s; s.k_ = kind::float_; s.f_ = f; return s; }
    static slot of_double(double d) noexcept { slot s; s.k_ = kind::double_; s.d_ = d; return s; }
    static slot of_place(std::uint32_t index) noexcept { slot s; s.k_ = kind::place; s.u_ = index; return s; }
    static slot of_text(std::wstring chars)
    {
        slot s;
        s.k_ = kind::text;
        s.t_ = new std::wstring(std::move(chars));
        return s;
    }
    // A value object, shared with every other holder: a copy of the slot is another holder, not a copy
    // of the value (the compiler asks for a clone where the language copies).
    static slot of_value(value v) noexcept
    {
        slot s;
        s.k_ = kind::object;
        new (&s.o_) value(std::move(v));
        return s;
    }

    slot(const slot& o) : k_(o.k_), d_(o.d_)
    {
        if (k_ == kind::text) t_ = new std::wstring(*o.t_);
        else if (k_ == kind::object) new (&o_) value(o.o_);
    }
    slot(slot&& o) noexcept : k_(std::exchange(o.k_, kind::nil)), d_(o.d_) {}
    // Inline for two scalars, as most register moves are; a text or a value object calls out.
    [[gnu::always_inline]] slot& operator=(const slot& o)
    {
        if (k_ < kind::text && o.k_ < kind::text) [[likely]] {
            k_ = o.k_;
            d_ = o.d_;
            return *this;
        }
        return assign_held(o);
    }
    [[gnu::always_inline]] slot& operator=(slot&& o) noexcept
    {
        if (this != &o) [[likely]] {
            release();
            k_ = std::exchange(o.k_, kind::nil);
            d_ = o.d_;
        }
        return *this;
    }
    ~slot() { release(); }

    kind what() const noexcept { return k_; }
    bool b() const noexcept { return b_; }
    std::int32_t i() const noexcept { return i_; }
    std::uint32_t u() const noexcept { return u_; }
    float f() const noexcept { return f_; }
    double d() const noexcept { return d_; }
    std::uint32_t index() const noexcept { return u_; }
    const std::wstring& chars() const noexcept { return *t_; }
    std::wstring& chars() noexcept { return *t_; }
    const value& object() const noexcept { return o_; }
    // The value object of an object slot, which the slot gives up (it is nil after): a staged argument
    // handed on, so that the callee may find itself its only holder.
    value take_object() noexcept
    {
        value v(std::move(o_));
        o_.~value();
        k_ = kind::nil;
        return v;
    }

    // Scalar writes into a slot whose kind the compiler has settled: the kind is set with the payload,
    // and a slot that held a text gives it up first.
    void set_bool(bool b) noexcept { make(kind::boolean); b_ = b; }
    void set_int(std::int32_t i) noexcept { make(kind::int_); i_ = i; }
    void set_uint(std::uint32_t u) noexcept { make(kind::uint_); u_ = u; }
    void set_float(float f) noexcept { make(kind::float_); f_ = f; }
    void set_double(double d) noexcept { make(kind::double_); d_ = d; }

private:
    void make(kind k) noexcept
    {
        release();
        k_ = k;
    }
    // Inline, as every scalar write passes here: only a slot that held a text or a value calls out.
    [[gnu::always_inline]] void release() noexcept
    {
        if (k_ >= kind::text) [[unlikely]] drop();
        k_ = kind::nil;
    }
    [[gnu::noinline]] slot& assign_held(const slot& o)
    {
        if (this == &o) return *this;
        if (o.k_ == kind::text && k_ == kind::text) {
            *t_ = *o.t_;  // the buffer already here is reused
            return *this;
        }
        slot copy(o);
        return *this = std::move(copy);
    }
    [[gnu::noinline]] void drop() noexcept
    {
        if (k_ == kind::text) delete t_;
        else o_.~value();
    }

    kind k_;
    union {
        bool b_;
        std::int32_t i_;
        std::uint32_t u_;
        float f_;
        double d_;
        std::wstring* t_;
        value o_;
    };
};
static_assert(sizeof(slot) == 16, "a slot is a kind and eight bytes of payload");

} // namespace vorla::vm
