// Parameter text, exact-type matching and call frames: what every routine table shares.
#include "table/routine.hpp"

namespace vorla::table {

std::string parameter_text(const parameter_list& params)
{
    std::string out = "arguments(";
    for (std::size_t i = 0; i < params.size(); ++i) {
        if (i) out += ", ";
        out += "type(";
        out += detail::format_number(params[i].type);
        out += ") ";
        out += narrow(*params[i].name);
    }
    out += ')';
    return out;
}

bool matches(const parameter_list& params, const args& v) noexcept
{
    if (params.size() != v.size()) return false;
    for (std::size_t i = 0; i < v.size(); ++i)
        if (params[i].type != v[i]->type_id()) return false;
    return true;
}

bool same_types(const parameter_list& a, const parameter_list& b) noexcept
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].type != b[i].type) return false;
    return true;
}

scope_ptr make_frame(const routine& r, const args& v, scope* parent)
{
    // The scope clones the body itself when the body reaches its head, so the compiled tree stays shared.
    auto frame = std::make_shared<scope>(parent, r.body);
    const std::size_t n = r.params.size() < v.size() ? r.params.size() : v.size();
    for (std::size_t i = 0; i < n; ++i) {
        const parameter& p = r.params[i];
        // A reference parameter aliases the caller's value; any other gets a copy the callee may change
        // freely. A temporary argument (held by the argument vector alone) needs no copy.
        const bool own = p.reference || (v[i].use_count() == 1 && tid::plain_copy(v[i]->type_id()));
        frame->variables.declare(p.name, own ? v[i] : v[i]->clone());
    }
    return frame;
}

void call_depth::exceeded(const char* function)
{
    const unsigned reached = depth_ > limit ? limit : depth_;
    --depth_;
    throw VORLA_EXCEPTION(function, "call depth exceeded, depth=") << reached;
}

} // namespace vorla::table
