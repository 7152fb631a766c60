// The timer value: clock readings in milliseconds since the program started, and its three methods.
#include "factor/timer.hpp"

#include <chrono>
#include <memory>

#include "factor/method_table.hpp"
#include "factor/real.hpp"

namespace vorla {

namespace {

// Taken while the program starts up, before any script runs.
const std::chrono::steady_clock::time_point program_start = std::chrono::steady_clock::now();

value make_double(double x) { return make<real<double>>(x); }

} // namespace

std::int32_t timer::now()
{
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - program_start);
    // The reading is 32 bits wide; it wraps after some 24 days, and differences stay right across the wrap.
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(ms.count()));
}

timer::timer() : ticks_(now()) {}

void timer::take(const char* op, const value& v)
{
    if (v->type_id() != tid::timer) refuse(op, v);
    const auto* other = dynamic_cast<const timer*>(v.get());
    if (!other) refuse(op, v);
    ticks_ = other->ticks_;
}

void timer::call_constructor(const value& v) { take("call_constructor", v); }
void timer::call_constructor() { ticks_ = now(); }
void timer::operator=(const value& r) { take("operator =", r); }

value timer::clone() const
{
    auto c = make<timer>();
    c->ticks_ = ticks_;
    return c;
}

bool timer::equal(const value& other) const
{
    if (other->type_id() != tid::timer) return false;
    const auto* o = dynamic_cast<const timer*>(other.get());
    return o && o->ticks_ == ticks_;
}

std::string timer::describe() const { return "timer(" + detail::format_number(ticks_) + ")"; }

const method_table& timer::method_rows()
{
    // All three methods take no argument, so a call with arguments misses like an unknown name.
    static constexpr method_table table({
        {method_name::start, 0},
        {method_name::restart, 0},
        {method_name::elapsed, 0},
    });
    return table;
}

method_signatures timer::methods() { return method_rows().signatures(); }

template <class Name>
value timer::dispatch(const method_call<Name>& c)
{
    switch (method_rows().find(c)) {
    case method_name::start: return m_start(c.v);
    case method_name::restart: return m_restart(c.v);
    case method_name::elapsed: return m_elapsed(c.v);
    default: break;
    }
    refuse("_method", method_call_text(c));
}

value timer::method(const method_call<wchar_t>& c) { return dispatch(c); }
value timer::method(const method_call<char>& c) { return dispatch(c); }

value timer::m_start(const args&) { return make_double(ticks_); }

value timer::m_restart(const args&)
{
    ticks_ = now();
    return make_double(ticks_);
}

value timer::m_elapsed(const args&)
{
    const auto diff = static_cast<std::int32_t>(static_cast<std::uint32_t>(now()) - static_cast<std::uint32_t>(ticks_));
    return make_double(static_cast<double>(diff) / 1000.0);
}

} // namespace vorla
