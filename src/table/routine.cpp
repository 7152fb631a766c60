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

bool matches(const parameter_list& params, std::span<const value> v) noexcept
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

namespace {
// A call frame whose body is a block: the parameters' scope and the block's scope, made together.
// Running the block's statements straight from the inner scope takes the same steps and sees the same
// names as a frame running a clone of the block, without the clone.
struct block_frame {
    block_frame(scope* parent, std::shared_ptr<const control_list> statements)
        : params(parent), block(&params, std::move(statements)) {}
    scope params;
    scope block;
};
} // namespace

namespace {
// The statements of a body that runs in a block frame, or null for a body that runs in a plain frame.
const std::shared_ptr<const control_list>* frame_block(const routine& r) noexcept
{
    const auto* body = r.body->is_block() ? &static_cast<const c_compound&>(*r.body).statements : nullptr;
    // An empty block still takes the frame's first step to finish, so it keeps the plain frame.
    return body && !(*body)->empty() ? body : nullptr;
}

// More spare frames than this per routine would only hold memory: a call pops one, its return puts
// one back, so a recursion reuses the same few.
constexpr std::size_t max_spare_frames = 4;
} // namespace

scope_ptr make_frame(const routine& r, std::span<const value> v, scope* parent)
{
    scope_ptr frame;
    scope* bind;
    if (const auto* body = frame_block(r)) {
        if (!r.spare_frames.empty()) {
            frame = std::move(r.spare_frames.back());
            r.spare_frames.pop_back();
            bind = frame->parent;  // the parameters' scope
            bind->parent = parent;
        } else {
            auto both = std::make_shared<block_frame>(parent, *body);
            bind = &both->params;
            frame = scope_ptr(both, &both->block);
        }
    } else {
        frame = std::make_shared<scope>(parent, r.body);
        bind = frame.get();
    }
    const std::size_t n = r.params.size() < v.size() ? r.params.size() : v.size();
    for (std::size_t i = 0; i < n; ++i) {
        const parameter& p = r.params[i];
        // A reference parameter aliases the caller's value; any other gets a copy the callee may change
        // freely. A temporary argument (held by the argument vector alone) needs no copy.
        const bool own = p.reference || (v[i].use_count() == 1 && tid::plain_copy(v[i]->type_id()));
        bind->variables.declare(p.name, own ? v[i] : v[i]->clone());
    }
    return frame;
}

void release_frame(const routine& r, scope_ptr& frame) noexcept
{
    if (frame.use_count() != 1 || r.spare_frames.size() >= max_spare_frames || !frame_block(r)) {
        frame.reset();
        return;
    }
    scope& block = *frame;
    block.rewind();
    block.parent->variables.clear();
    r.spare_frames.push_back(std::move(frame));
}

flow run_call_frame(scope& frame, runtime& rt)
{
    try {
        return frame.run(rt);
    } catch (sig_return& r) {
        rt.out->v = std::move(r.v);
        return rt.out->kind = flow::ret;
    }
}

void call_depth::exceeded(const char* function)
{
    const unsigned reached = context_.call_depth > context_.call_limit ? context_.call_limit : context_.call_depth;
    --context_.call_depth;
    throw (VORLA_EXCEPTION(function, "call depth exceeded, depth=") << reached).mark_out_of_depth();
}

void inline_nesting::exceeded(const char* function)
{
    throw (VORLA_EXCEPTION(function, "inline nesting exceeded, depth=") << limit).mark_out_of_depth();
}

} // namespace vorla::table
