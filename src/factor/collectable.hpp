// The base of values that hold other values (containers, instances, refs): what the cycle collector walks.
#pragma once

#include <cstdint>

#include "context.hpp"
#include "factor/cycle_registry.hpp"
#include "factor/factor.hpp"

namespace vorla {

// Sees the values a collectable holds, one handle at a time.
class child_visitor {
public:
    virtual void operator()(factor& child) = 0;

protected:
    ~child_visitor() = default;
};

// A value that can hold other values, and so be part of a cycle. It is on the registry of the running
// interpreter (cycle_registry.hpp) for its whole life, linked through two pointers of its own, so that
// entering and leaving costs a few stores and no allocation.
class collectable : public factor {
public:
    collectable* cycle_node() noexcept final { return this; }

    // Calls `visit` once for every handle the value holds, just as give_up_children would move them out.
    // The collector takes these from the holder counts: a handle left out only keeps a cycle alive, but
    // one reported that is not held would free a value still in use.
    virtual void visit_children(child_visitor& visit) const = 0;

protected:
    collectable() noexcept { context::current().cycles.enter(*this); }
    collectable(const collectable& o) noexcept : factor(o) { context::current().cycles.enter(*this); }
    ~collectable() override
    {
        if (!back_) return;  // its registry went first
        cycle_registry::leave(*this);
        context::current().cycles.dropped();
    }

private:
    friend class cycle_registry;
    // During a collection: the holders not yet accounted for by registered values, or `reached`.
    std::uint32_t trial_ = 0;
    // The link that points here (the registry's first_ or the previous value's next_), null once the
    // registry is gone; and the next value.
    collectable** back_ = nullptr;
    collectable* next_ = nullptr;
};

inline void cycle_registry::enter(collectable& v) noexcept
{
    v.back_ = &first_;
    v.next_ = first_;
    if (first_) first_->back_ = &v.next_;
    first_ = &v;
    ++count_;
}

inline void cycle_registry::leave(collectable& v) noexcept
{
    *v.back_ = v.next_;
    if (v.next_) v.next_->back_ = v.back_;
    v.back_ = nullptr;
    v.next_ = nullptr;
}

} // namespace vorla
