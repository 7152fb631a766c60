// The base of values that hold other values (containers, instances, refs): what the cycle collector walks.
#pragma once

#include <cstdint>
#include <limits>

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

// A value that can hold other values, and so be part of a cycle. It is counted on the registry of the
// running interpreter (cycle_registry.hpp) for its whole life; a root (a ref, an instance with a
// reference member) is also listed there, linked through two pointers of its own, so that entering and
// leaving costs a few stores and no allocation.
class collectable : public factor {
public:
    collectable* cycle_node() noexcept final { return this; }

    // Calls `visit` once for every handle the value holds, just as give_up_children would move them out.
    // The collector takes these from the holder counts: a handle left out only keeps a cycle alive, but
    // one reported that is not held would free a value still in use.
    virtual void visit_children(child_visitor& visit) const = 0;

    // A value that holds others is walked level by level: the walk begins at depth 0 here, and each class
    // refuses a walk too deep in its *_at form and hands the next level on.
    void hash(std::uint32_t& seed) const final { hash_at(seed, 0); }
    bool equal(const value& other) const final { return equal_at(other, 0); }
    std::string describe() const final { return describe_at(0); }

protected:
    collectable() noexcept { context::current().cycles.made(); }
    collectable(const collectable& o) noexcept : factor(o) { context::current().cycles.made(); }
    ~collectable() override
    {
        if (back_) cycle_registry::leave(*this);
        context::current().cycles.dropped();
    }

    // Lists this value as a root of `cycles`: it can hold a handle that another holder shares.
    void enter_roots(cycle_registry& cycles) noexcept { cycles.enter(*this); }
    // Lists this value, a copy of the root `original`, on the registry that lists the original, so that a
    // copy needs no interpreter at hand.
    void enter_roots_beside(const collectable& original) noexcept { cycle_registry::enter_beside(original, *this); }

private:
    friend class cycle_registry;
    // The mark of a value no collection is looking at, and of one a collection found reachable from
    // outside. No holder count gets near it.
    static constexpr std::uint32_t idle = std::numeric_limits<std::uint32_t>::max();
    // During a collection: the holders not yet accounted for by values of the part it walks, or `idle`.
    std::uint32_t trial_ = idle;
    // For a root: the link that points here (the registry's first_ or the previous root's next_), null
    // once the registry is gone; and the next root. Null for every other value. A copy of a root is
    // linked in after it, so they change when a const value is copied.
    mutable collectable** back_ = nullptr;
    mutable collectable* next_ = nullptr;
};

inline void cycle_registry::enter(collectable& v) noexcept
{
    v.back_ = &first_;
    v.next_ = first_;
    if (first_) first_->back_ = &v.next_;
    first_ = &v;
}

inline void cycle_registry::enter_beside(const collectable& beside, collectable& v) noexcept
{
    if (!beside.back_) return;
    v.back_ = &beside.next_;
    v.next_ = beside.next_;
    if (beside.next_) beside.next_->back_ = &v.next_;
    beside.next_ = &v;
}

inline void cycle_registry::leave(collectable& v) noexcept
{
    *v.back_ = v.next_;
    if (v.next_) v.next_->back_ = v.back_;
    v.back_ = nullptr;
    v.next_ = nullptr;
}

} // namespace vorla
