// The reference value: holds another value's handle, so assignments through `get` reach the original.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "factor/collectable.hpp"
#include "factor/factor.hpp"
#include "factor/method_table.hpp"
#include "factor/nil.hpp"

namespace vorla {

// A ref shares its target with the target's other holders, so it is a root of the cycle collector.
class ref : public collectable {
public:
    // A ref listed on `cycles`, the registry of the interpreter that makes it.
    explicit ref(cycle_registry& cycles, value target = {}) noexcept : target_(std::move(target)) { enter_roots(cycles); }
    // A copy shares the target too, and is listed where the original is.
    ref(const ref& o) noexcept : collectable(o), target_(o.target_) { enter_roots_beside(o); }
    // A chain of refs millions long is released by a loop, not by one destructor inside the next.
    ~ref() override { release_children(*this); }

    void call_constructor(const value& v) override { target_ = v; }  // shares the value, no copy
    void call_constructor() override { target_ = make<nil>(); }

    value method(const method_call<wchar_t>& c) override
    {
        if (method_rows().find(c) == method_name::get) return target();
        refuse("method", call_text(narrow(c.name), c.v));
    }
    value method(const method_call<char>& c) override
    {
        if (method_rows().find(c) == method_name::get) return target();
        refuse("method", call_text(c.name, c.v));
    }

    // The built-in methods' names and argument counts: `get` alone.
    static method_signatures methods() { return method_rows().signatures(); }

    type_id_t type_id() const override { return tid::ref; }
    value clone() const override { return make<ref>(*this); }
    void hash_at(std::uint32_t& seed, unsigned depth) const override
    {
        const nesting level(*this, "hash", depth);
        target()->hash_at(seed, depth + 1);
    }
    bool equal_at(const value& other, unsigned depth) const override
    {
        if (other->type_id() != type_id()) return false;
        const auto* o = dynamic_cast<const ref*>(other.get());
        const nesting level(*this, "equal", depth);
        return o && target()->equal_at(o->target(), depth + 1);
    }
    std::string describe_at(unsigned depth) const override
    {
        const nesting level(*this, "describe", depth);
        return "ref(" + target()->describe_at(depth + 1) + ")";
    }
    void give_up_children(release_list& out) override
    {
        if (target_) out.push_back(std::move(target_));
    }
    void visit_children(child_visitor& visit) const override
    {
        if (target_) visit(*target_);
    }

    // A reference that never received a target (made outside a declaration) reads as a fresh nil.
    value target() const { return target_ ? target_ : make<nil>(); }

protected:
    VORLA_SITE("vorla::ref")

private:
    // One row, so the method listing and the dispatch cannot disagree.
    static const method_table& method_rows()
    {
        static constexpr method_table table({{method_name::get, 0}});
        return table;
    }

    value target_;
};

} // namespace vorla
