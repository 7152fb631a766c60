// A value that stands for a C++ object of the host, of a type the host registered with its methods.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <unordered_map>

#include "factor/factor.hpp"

namespace vorla {

// A type the host registered: its name as scripts write it, its id among the program's types and what its
// objects answer. One per registration, shared by every object of the type, so an object stays
// describable and callable for as long as any handle holds it.
struct host_class {
    // A method: the object (as the host made it) and the script's arguments; the result. A script
    // exception it raises leaves it in its C++ form (expression/signal.hpp), as a native's does.
    using method = std::function<value(void* object, const args& v)>;
    // The text inside an object's description, "sprite[<text>]"; empty when the host gives none.
    using describer = std::function<std::string(const void* object)>;

    host_class(std::string type_name, type_id_t type_id, const void* cpp_key);
    host_class(const host_class&) = delete;
    host_class& operator=(const host_class&) = delete;

    const std::string name;
    const type_id_t id;
    // Which C++ type the objects are: the host side reads an object back only as that type.
    const void* const key;
    std::unordered_map<std::wstring, std::shared_ptr<const method>> methods;
    describer describe;

    // Where refusals of its objects are reported from, under the class name "vorla::host<NAME>".
    const site& where() const noexcept { return site_; }

private:
    const std::string class_name_;
    const site site_;
};

// The host types of one program, by type id (shared by every namespace of the program).
using host_class_table = std::unordered_map<type_id_t, std::shared_ptr<host_class>>;

// A handle on a host object. A script cannot make one: the only constructor that completes takes another
// object of the same type and shares its C++ object, which is also what a copy (clone) does. Scripts
// call its methods, compare two with == and != (the same C++ object or not), assign one of the same type
// (the variable then stands for that object) and see it in `debug`; everything else is refused by the
// shared rules.
class host_value final : public factor {
public:
    // `object` null: a value declared but not yet constructed, which only the constructor fills.
    host_value(std::shared_ptr<const host_class> cls, std::shared_ptr<void> object)
        : class_(std::move(cls)), object_(std::move(object))
    {
    }

    void call_constructor(const value& v) override;
    value operator==(const value& r) const override;
    value operator!=(const value& r) const override;
    void operator=(const value& r) override;
    value method(const method_call<wchar_t>& c) override;
    value method(const method_call<char>& c) override;
    type_id_t type_id() const override { return class_->id; }
    value clone() const override;
    void hash(std::uint32_t& seed) const override { hash_combine(seed, class_->id); }
    bool equal(const value& other) const override;
    std::string describe() const override;
    std::wostream& write_ostream(std::wostream& os) const override;

    const host_class& cls() const noexcept { return *class_; }
    const std::shared_ptr<void>& object() const noexcept { return object_; }

protected:
    const site& where() const override { return class_->where(); }

private:
    // The other value as an object of this one's type, or the refusal of `op` with it.
    const host_value& same_type(const char* op, const value& v) const;
    value call(const std::wstring& name, const args& v);

    std::shared_ptr<const host_class> class_;
    std::shared_ptr<void> object_;
};

} // namespace vorla
