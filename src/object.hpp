// Script classes: the class object (a namespace holding methods, members, constructors, base and conversions).
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "nspace.hpp"
#include "table/constructor.hpp"

namespace vorla {

// A class object lives in the class table; every instance carries one more object, made from it,
// whose global scope holds that instance's members and which shares all compiled data with the class.
class object : public nspace {
public:
    struct member_type {
        type_id_t type;
        bool reference;  // bound to the initializer's own value instead of a new one
    };
    // Kept in declaration order: default and copy construction create members in this order, so
    // describe and hash read the same on every run.
    using member_table = std::vector<std::pair<symbol, member_type>>;

    // The class object: a child of the defining namespace, with empty tables and no base.
    object(nspace* parent, const std::wstring& class_name, type_id_t id);

    // An instance's part: it holds its class, and borrows the class's name, parents and every table
    // (they live as long as the class); its variables are its own.
    struct instance_part_t {};
    static constexpr instance_part_t instance_part{};
    object(std::shared_ptr<const object> cls, instance_part_t);

    // An instance part's class, which owns what the part borrows; null in the class object itself.
    const std::shared_ptr<const object> cls;
    // The class's name. It hides the namespace's own, which a part leaves empty: a copy per instance was
    // an allocation for any name longer than three characters.
    const std::wstring& name;
    type_id_t id;
    type_id_t base_id = 0;  // 0: no base class
    value base;             // an instance's base instance, once constructed; empty in the class object
    std::shared_ptr<table::constructor> constructors;
    control_ptr cast_bool, cast_int, cast_unsigned, cast_float, cast_double, cast_string;
    std::shared_ptr<member_table> members;

    // Class definition. A second member of one name is refused ("fail to define member, ...").
    bool define_member(type_id_t type, symbol member_name, bool reference);
    // Refuses a constructor named unlike the class and a copy constructor taking its argument by value.
    void define_constructor(const table::parameter_list& params, const std::wstring& constructor_name,
                            control_ptr body);
    const member_type* find_member_type(symbol member_name) const noexcept;
    // Whether a member of this class itself (not of its base) is a reference member: asked as each
    // instance is made, so kept rather than searched.
    bool has_reference_member() const noexcept { return refers_; }

    // Construction of an instance's part (called on the instance's own object).
    // Runs a script constructor: its initializers and body, in a frame over this part's variables.
    void run_constructor(const table::routine& r, const args& v);
    // Every member (and the base) made from nothing; a reference member cannot be.
    void call_default_constructor();
    // Base and members copied from another instance of the class.
    void copy_construct(const object& from);
    // The base initializer: a new base instance constructed from v.
    void call_base_constructor(const args& v);
    // A base part made elsewhere (the vm makes the parts of an instance itself), linked as the base
    // initializer links the one it makes.
    void take_base(value made);
    // A reference member initializer: binds the member to v itself, which must be of exactly that type.
    void call_ref_member_constructor(const value& v, type_id_t type, symbol member_name);

    // A method of this class or of a base class (never a global function). A signal crossing the call
    // waits in `out` (the call then yields an empty handle); without one it is raised in its C++ form.
    // `site`, when given, remembers the definition found and the class tables searched on the way.
    value method(symbol method_name, const args& v, script_signal* out = nullptr, call_site* site = nullptr);

    // Runs a conversion body and returns its result made into a new value of the target type.
    value call_cast(type_id_t target, const control_ptr& body);

private:
    bool refers_ = false;  // see has_reference_member
    // Makes the base instance the next scope and namespace outward of this part.
    void link_base();
    // The next part outward that is a class (a base instance's part), or nullptr.
    object* base_part() const noexcept;
    // method's search, part by part outward, recording in `site` what it passed and found.
    [[gnu::noinline]] value search_method(symbol method_name, const args& v, script_signal* out, call_site& site);
    // Runs the method r found in part o.
    value run_method(object& o, symbol method_name, const table::routine& r, const args& v, script_signal* out);
};

} // namespace vorla
