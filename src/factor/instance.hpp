// A value of a script class: one object part holding its members, sharing everything compiled with its class.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>

#include "factor/collectable.hpp"
#include "factor/factor.hpp"
#include "object.hpp"

namespace vorla {

// Script classes define no operators: every operator refuses, naming the instance and its operand.
// The bodies live with the class object in object.cpp, since they run script code.
class instance final : public collectable {
public:
    // Unconstructed: no members and no base until one call_constructor completes. An instance whose own
    // part has a reference member shares that member's value with its other holders, so it is a root of
    // its interpreter's cycle collector (a base part with one is an instance of its own).
    explicit instance(std::shared_ptr<const object> cls) : part_(std::move(cls), object::instance_part)
    {
        if (part_.has_reference_member()) enter_roots(part_.ctx->cycles);
    }
    // Members nested a million deep are released by a loop, not by destructors inside destructors.
    ~instance() override { release_children(*this); }

    void call_constructor(const args& v) override;
    void call_constructor(const value& v) override;
    void call_constructor() override;
    value operator+(const value& r) const override;
    value operator-() const override;
    value operator-(const value& r) const override;
    value operator*(const value& r) const override;
    value operator/(const value& r) const override;
    value operator%(const value& r) const override;
    value operator&&(const value& r) const override;
    value operator||(const value& r) const override;
    value operator==(const value& r) const override;
    value operator!=(const value& r) const override;
    value operator>=(const value& r) const override;
    value operator<=(const value& r) const override;
    value operator>(const value& r) const override;
    value operator<(const value& r) const override;
    void operator=(const value& r) override;
    void operator++() override;
    void operator--() override;
    value operator!() const override;
    explicit operator bool() const override;
    explicit operator unsigned int() const override;
    explicit operator int() const override;
    explicit operator float() const override;
    explicit operator double() const override;
    explicit operator std::string() const override;
    explicit operator std::wstring() const override;
    value member(const std::wstring& name) const override;
    value member(const std::string& name) const override;
    value member_of(const std::wstring* name) const override;
    scope* own_members() noexcept override { return &part_.global; }
    value method(const method_call<wchar_t>& c) override;
    // The error a method's body raised as it leaves through this instance (a method call's frame that
    // another engine keeps reports through here too): chained behind the instance's description.
    exception left_method(const std::exception& caught) const;
    value method(const method_call<char>& c) override;
    type_id_t type_id() const override { return part_.id; }
    value clone() const override;
    bool stands_for_copy() const override;
    void hash_at(std::uint32_t& seed, unsigned depth) const override;
    bool equal_at(const value& other, unsigned depth) const override;
    std::string describe_at(unsigned depth) const override;
    std::wostream& write_ostream(std::wostream& os) const override;
    std::ostream& write_ostream(std::ostream& os) const override;
    std::wistream& read_istream(std::wistream& is) override;
    std::istream& read_istream(std::istream& is) override;
    void give_up_children(release_list& out) override;
    void visit_children(child_visitor& visit) const override;

    object& part() noexcept { return part_; }
    const object& part() const noexcept { return part_; }

protected:
    VORLA_SITE("vorla::instance<wchar_t,class vorla::object<wchar_t,class vorla::process<wchar_t> > >")

private:
    // Refusal of a binary operator: "<this>, <operand>".
    [[noreturn]] void refuse_binary(const char* op, const value& r) const;
    // A conversion through the class's operator body; any failure becomes a script bad_cast.
    value convert(type_id_t target, const control_ptr& body, const char* op) const;

    object part_;
};

} // namespace vorla
