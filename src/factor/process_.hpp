// The script's process value: a handle on a started process that tells whether it has finished and its number.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "factor/factor.hpp"
#include "factor/method_table.hpp"

namespace vorla {

class process;

template <class P>
class process_;

// Everything but the two methods, identity and description is refused by the shared rules: a process
// value can be neither built by a script, assigned, nor converted.
template <>
class process_<process> : public factor {
public:
    explicit process_(std::shared_ptr<process> p) : p_(std::move(p)) {}

    value method(const method_call<wchar_t>& c) override { return _method(c); }
    value method(const method_call<char>& c) override { return _method(c); }
    type_id_t type_id() const override;
    value clone() const override { return make<process_<process>>(p_); }
    void hash(std::uint32_t& seed) const override { hash_combine(seed, type_id()); }
    bool equal(const value& other) const override;
    std::string describe() const override;

    const std::shared_ptr<process>& target() const noexcept { return p_; }

    // The built-in methods' names and argument counts, in table order.
    static method_signatures methods();

protected:
    VORLA_SITE("vorla::process_<class vorla::process<wchar_t> >")

private:
    template <class Ch>
    value _method(const method_call<Ch>& c) const;

    std::shared_ptr<process> p_;  // keeps a finished process readable after the scheduler dropped it
};

} // namespace vorla
