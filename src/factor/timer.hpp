// The script's timer: one reading of a steady wall clock, and the seconds elapsed since it.
#pragma once

#include <cstdint>
#include <string>

#include "factor/factor.hpp"
#include "factor/method_table.hpp"

namespace vorla {

class timer final : public factor {
public:
    // A new timer takes its first reading at once.
    timer();

    void call_constructor(const value& v) override;
    void call_constructor() override;
    void operator=(const value& r) override;

    value method(const method_call<wchar_t>& c) override;
    value method(const method_call<char>& c) override;

    type_id_t type_id() const override { return tid::timer; }
    value clone() const override;
    void hash(std::uint32_t& seed) const override { hash_combine(seed, static_cast<std::uint32_t>(ticks_)); }
    bool equal(const value& other) const override;
    std::string describe() const override;

    std::int32_t ticks() const { return ticks_; }

    // Milliseconds since the program started, on a clock that never goes back.
    static std::int32_t now();

    // The built-in methods' names and argument counts, in table order.
    static method_signatures methods();

protected:
    VORLA_SITE("vorla::timer")

private:
    value m_start(const args& v);
    value m_restart(const args& v);
    value m_elapsed(const args& v);

    static const method_table& method_rows();
    template <class Name>
    value dispatch(const method_call<Name>& c);
    void take(const char* op, const value& v);

    std::int32_t ticks_;
};

} // namespace vorla
