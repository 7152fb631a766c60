// Parameter text, exact-type matching and call frames: what every routine table shares.
#include "table/routine.hpp"

#include "expression/signal.hpp"
#include "expression/statements.hpp"

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

routine::routine(control_ptr body, parameter_list params, type_id_t return_type)
    : body(std::move(body)), params(std::move(params)), return_type(return_type)
{
    for (std::size_t i = 0; i < this->params.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (this->params[i].name == this->params[j].name) distinct_names = false;
    // The block shares its statement list, which lives as long as the body.
    if (this->body && this->body->is_block()) {
        const auto& block = static_cast<const c_compound&>(*this->body);
        std::vector<symbol> names;
        bool apart = block.declared_names(names);
        for (const symbol name : names)
            for (const parameter& p : this->params)
                if (p.name == name) apart = false;
        if (apart) straight = block.statements.get();
    }
}

bool same_types(const parameter_list& a, const parameter_list& b) noexcept
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].type != b[i].type) return false;
    return true;
}

namespace {
// A stepped frame whose body is a block: the parameters' scope and the block's scope, made together.
// Running the block's statements straight from the inner scope takes the same steps and sees the same
// names as a frame running the block as its one statement, without the scope in between.
struct block_frame {
    block_frame(scope* parent, std::shared_ptr<const control_list> statements)
        : params(parent), block(&params, std::move(statements)) {}
    scope params;
    stepping_scope block;
};
} // namespace

void bind_checked(const routine& r, std::span<const value> v, scope& frame)
{
    const std::size_t n = r.params.size() < v.size() ? r.params.size() : v.size();
    for (std::size_t i = 0; i < n; ++i)
        frame.variables.declare(r.params[i].name, r.params[i].reference ? v[i] : stored_copy(v[i]));
}

scope_ptr make_frame(const routine& r, std::span<const value> v, scope* parent)
{
    const auto* body = r.body->is_block() ? &static_cast<const c_compound&>(*r.body).statements : nullptr;
    // An empty block still takes the frame's first step to finish, so it keeps the plain frame.
    if (!body || (*body)->empty()) {
        scope_ptr frame = std::make_shared<stepping_scope>(parent, r.body);
        bind_parameters(r, v, *frame);
        return frame;
    }
    auto both = std::make_shared<block_frame>(parent, *body);
    bind_parameters(r, v, both->params);
    return scope_ptr(both, &both->block);
}

flow run_frame(const routine& r, std::span<const value> v, runtime& rt)
{
    scope frame(rt.current);
    bind_parameters(r, v, frame);
    runtime body{&frame, rt.space, *rt.out};
    return r.straight ? run_list(*r.straight, body) : run_whole(*r.body, body);
}

flow took_return(sig_return& r, runtime& rt) noexcept
{
    rt.out->v = std::move(r.v);
    return rt.out->kind = flow::ret;
}

void call_depth::exceeded(const char* function)
{
    const unsigned reached = context_.call_depth > context_.call_limit ? context_.call_limit : context_.call_depth;
    --context_.call_depth;
    throw report(function, reached);
}

exception call_depth::report(const char* function, unsigned reached)
{
    return (VORLA_EXCEPTION(function, "call depth exceeded, depth=") << reached).mark_out_of_depth();
}

void inline_nesting::exceeded(const char* function)
{
    throw (VORLA_EXCEPTION(function, "inline nesting exceeded, depth=") << limit).mark_out_of_depth();
}

} // namespace vorla::table
