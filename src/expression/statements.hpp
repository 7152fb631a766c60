// Statement (control) node classes: resumable blocks, branches, loops, try, inline expansion, jumps.
#pragma once

#include <string>

#include "expression/expression.hpp"
#include "expression/nodes.hpp"
#include "nlookup.hpp"
#include "symbol.hpp"
#include "table/except.hpp"

namespace vorla {

// { statements }: stepped, opens a block scope on the list (or runs a flat one straight, see open_body);
// run whole, runs its statements in order, in a scope of its own when one of them declares a name.
class c_compound final : public control {
public:
    explicit c_compound(control_list statements)
        : c_compound(std::make_shared<const control_list>(std::move(statements))) {}
    explicit c_compound(std::shared_ptr<const control_list> statements);
    flow execute(runtime& rt) const override;
    flow run(runtime& rt) const override;
    const control* active(const stepping_scope& s) const override;
    const std::shared_ptr<const control_list> statements;

    // Only transparent statements, at least one: stepped, the block needs no scope of its own. (An
    // empty block keeps its scope, whose one step finds nothing to run.)
    bool flat() const noexcept { return flat_; }
    // Adds the names its own statements declare (not those of blocks inside it) to `names`; false when
    // some statement declares names it cannot list.
    bool declared_names(std::vector<symbol>& names) const;

private:
    bool scoped_;  // one of its statements declares a name: run whole, it needs a scope of its own
    bool flat_;
};

// How a branch or loop body is stepped, settled when the statement is built: straight in the scope
// running the statement, one statement per step, when it is a transparent statement or a block of them
// (`begin` to `end`); otherwise (`begin` null) in a scope of its own.
struct stepped_body {
    explicit stepped_body(const control_ptr& body) noexcept;
    const control_ptr* begin = nullptr;
    const control_ptr* end = nullptr;
};

// expression;
class c_single final : public control {
public:
    // The base is built before the member takes e over.
    explicit c_single(expr e) : control(false, !declaration(e), declaration(e)), e(std::move(e)) {}
    flow execute(runtime& rt) const override;
    flow run(runtime& rt) const override;  // always one step: the same as execute
    const expr e;

private:
    static bool declaration(const expr& e) noexcept { return dynamic_cast<const e_declare*>(e.get()) != nullptr; }
};

// ;
class c_empty final : public control {
public:
    c_empty() : control(false, true) {}
    flow execute(runtime&) const override { return flow::done; }
    flow run(runtime&) const override { return flow::done; }
};

class c_return final : public control {
public:
    explicit c_return(expr e) : control(false, true), e(std::move(e)) {}
    flow execute(runtime& rt) const override;
    flow run(runtime& rt) const override { return execute(rt); }
    const expr e;
};

class c_throw final : public control {
public:
    explicit c_throw(expr e) : control(false, true), e(std::move(e)) {}
    flow execute(runtime& rt) const override;
    flow run(runtime& rt) const override { return execute(rt); }
    const expr e;
};

// A break or continue notes where it stands: one that no loop takes ends the process, reported there.
class c_break final : public control {
public:
    c_break() : control(false, true) {}
    flow execute(runtime& rt) const override
    {
        rt.out->at = pos;
        return flow::brk;
    }
    flow run(runtime& rt) const override { return execute(rt); }
};

class c_continue final : public control {
public:
    c_continue() : control(false, true) {}
    flow execute(runtime& rt) const override
    {
        rt.out->at = pos;
        return flow::cont;
    }
    flow run(runtime& rt) const override { return execute(rt); }
};

class c_if final : public control {
public:
    c_if(expr condition, control_ptr then)
        : control(false, false, false, true), condition(std::move(condition)), then(std::move(then)), then_(this->then) {}
    flow execute(runtime& rt) const override;
    flow run(runtime& rt) const override;
    const control* active(const stepping_scope& s) const override;
    const expr condition;
    const control_ptr then;

private:
    const stepped_body then_;
};

// if (a) x; else y;  An else-branch that is another if makes an else-if chain, which runs link by link,
// never one C++ frame or scope deeper per link: a chain is flat code, however long.
class c_if_else final : public control {
public:
    // `chain`, given to the head of an else-if chain only: every later link, in order.
    c_if_else(expr condition, control_ptr then, control_ptr otherwise, control_list chain = {});
    ~c_if_else() override;
    flow execute(runtime& rt) const override;
    flow run(runtime& rt) const override;
    const control* active(const stepping_scope& s) const override;
    const expr condition;
    const control_ptr then, otherwise;

private:
    // This link run whole, except that an else-branch which is the next if-else link is not run but
    // left in `next` for the caller's loop.
    flow run_link(runtime& rt, const c_if_else*& next) const;

    const stepped_body then_, otherwise_;
    // The else-branch when it is an if (with or without an else): stepped, it takes this statement's
    // place as the scope's head.
    const control* const else_if_;
    // The else-branch when it is an if-else: run whole, the loop in run goes on to it.
    const c_if_else* const next_link_;
    // Held at the head so that the chain is released one link after another (see the destructor).
    control_list chain_;
};

class c_while final : public control {
public:
    c_while(expr condition, control_ptr body)
        : control(false, false, false, true), condition(std::move(condition)), body(std::move(body)), body_(this->body) {}
    flow execute(runtime& rt) const override;
    flow run(runtime& rt) const override;
    const control* active(const stepping_scope& s) const override;
    flow resume(stepping_scope& s, flow inner, runtime& rt) const override;
    const expr condition;
    const control_ptr body;

private:
    const stepped_body body_;
};

// inline name(args);  runs the inline body step by step in a scope under the namespace's global scope.
class c_inline final : public control {
public:
    c_inline(symbol name, expr_list arguments) : control(), name(name), arguments(std::move(arguments)) {}
    flow execute(runtime& rt) const override;
    flow run(runtime& rt) const override;
    const control* active(const stepping_scope& s) const override;
    const symbol name;
    const expr_list arguments;
};

// try { } catch (T x) { } catch () { }
class c_except final : public control {
public:
    c_except(control_ptr body, std::shared_ptr<const table::except> clauses)
        : control(), body(std::move(body)), clauses(std::move(clauses)) {}
    flow execute(runtime& rt) const override;
    flow run(runtime& rt) const override;
    const control* active(const stepping_scope& s) const override;
    const control_ptr body;
    const std::shared_ptr<const table::except> clauses;

private:
    // The clause that takes the throw waiting in `out`, with its argument in v (the thrown value, or
    // none for a catch-all); the throw is then taken off its way. Null when no clause matches.
    const table::routine* handler(args& v, script_signal& out) const;
};

// process::D v(args);
class c_start_p final : public control {
public:
    c_start_p(type_id_t pid, symbol variable, expr_list arguments)
        : control(false, false, true), pid(pid), variable(variable), arguments(std::move(arguments)) {}
    flow execute(runtime& rt) const override;
    flow run(runtime& rt) const override { return execute(rt); }
    const type_id_t pid;
    const symbol variable;
    const expr_list arguments;
};

// A script constructor's body: member initializers in order, then the body run to completion. It never
// yields, so a step of it runs it whole.
class c_constructor final : public control {
public:
    c_constructor(expr_list initializers, control_ptr body)
        : control(), initializers(std::move(initializers)), body(std::move(body)) {}
    flow execute(runtime& rt) const override { return run(rt); }
    flow run(runtime& rt) const override;
    const expr_list initializers;
    const control_ptr body;
};

} // namespace vorla
