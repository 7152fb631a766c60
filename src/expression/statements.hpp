// Statement (control) node classes: resumable blocks, branches, loops, try, inline expansion, jumps.
#pragma once

#include <string>

#include "expression/expression.hpp"
#include "expression/nodes.hpp"
#include "nlookup.hpp"
#include "symbol.hpp"
#include "table/except.hpp"

namespace vorla {

// The running body of a branch or loop: a scope of its own, or a transparent statement run directly.
class body_state {
public:
    void open(runtime& rt, const control_ptr& statement);
    explicit operator bool() const noexcept { return direct_ || scope_; }
    // One step; a finished body is released, a signal leaves it held.
    flow step(runtime& rt);
    // The body's statement the next step runs, or `outer` when no body is open.
    const control* active(const control* outer) const;
    void release() noexcept
    {
        direct_ = nullptr;
        scope_.reset();
    }

private:
    control* direct_ = nullptr;  // owned by the compiled node that opened it
    scope_ptr scope_;
};

// { statements }: opens a block scope on the list and steps it.
class c_compound final : public control {
public:
    explicit c_compound(control_list statements)
        : control(true, true), statements(std::make_shared<const control_list>(std::move(statements))) {}
    explicit c_compound(std::shared_ptr<const control_list> statements)
        : control(true, true), statements(std::move(statements)) {}
    flow execute(runtime& rt) override;
    control_ptr clone() const override { return std::make_shared<c_compound>(statements); }
    const control* active() const override;
    const std::shared_ptr<const control_list> statements;

private:
    scope_ptr block_;
};

// expression;
class c_single final : public control {
public:
    explicit c_single(expr e)
        : control(false, false, !dynamic_cast<const e_declare*>(e.get())), e(std::move(e)) {}
    flow execute(runtime& rt) override;
    control_ptr clone() const override { return std::make_shared<c_single>(e); }
    const expr e;
};

// ;
class c_empty final : public control {
public:
    c_empty() : control(false, false, true) {}
    flow execute(runtime&) override { return flow::done; }
    control_ptr clone() const override { return std::make_shared<c_empty>(); }
};

class c_return final : public control {
public:
    explicit c_return(expr e) : control(false, false, true), e(std::move(e)) {}
    flow execute(runtime& rt) override;
    control_ptr clone() const override { return std::make_shared<c_return>(e); }
    const expr e;
};

class c_throw final : public control {
public:
    explicit c_throw(expr e) : control(false, false, true), e(std::move(e)) {}
    flow execute(runtime& rt) override;
    control_ptr clone() const override { return std::make_shared<c_throw>(e); }
    const expr e;
};

class c_break final : public control {
public:
    c_break() : control(false, false, true) {}
    flow execute(runtime&) override { return flow::brk; }
    control_ptr clone() const override { return std::make_shared<c_break>(); }
};

class c_continue final : public control {
public:
    c_continue() : control(false, false, true) {}
    flow execute(runtime&) override { return flow::cont; }
    control_ptr clone() const override { return std::make_shared<c_continue>(); }
};

class c_if final : public control {
public:
    c_if(expr condition, control_ptr then) : control(true), condition(std::move(condition)), then(std::move(then)) {}
    flow execute(runtime& rt) override;
    control_ptr clone() const override { return std::make_shared<c_if>(condition, then); }
    const control* active() const override { return body_.active(this); }
    const expr condition;
    const control_ptr then;

private:
    body_state body_;
};

class c_if_else final : public control {
public:
    c_if_else(expr condition, control_ptr then, control_ptr otherwise)
        : control(true), condition(std::move(condition)), then(std::move(then)), otherwise(std::move(otherwise)) {}
    flow execute(runtime& rt) override;
    control_ptr clone() const override { return std::make_shared<c_if_else>(condition, then, otherwise); }
    const control* active() const override { return body_.active(this); }
    const expr condition;
    const control_ptr then, otherwise;

private:
    body_state body_;
};

class c_while final : public control {
public:
    c_while(expr condition, control_ptr body) : control(true), condition(std::move(condition)), body(std::move(body)) {}
    flow execute(runtime& rt) override;
    control_ptr clone() const override { return std::make_shared<c_while>(condition, body); }
    const control* active() const override { return body_.active(this); }
    const expr condition;
    const control_ptr body;

private:
    body_state body_;
};

// inline name(args);  runs the inline body step by step in a scope under the namespace's global scope.
class c_inline final : public control {
public:
    c_inline(symbol name, expr_list arguments) : control(true), name(name), arguments(std::move(arguments)) {}
    flow execute(runtime& rt) override;
    control_ptr clone() const override { return std::make_shared<c_inline>(name, arguments); }
    const control* active() const override;
    const symbol name;
    const expr_list arguments;

private:
    scope_ptr expansion_;
};

// try { } catch (T x) { } catch () { }
class c_except final : public control {
public:
    c_except(control_ptr body, std::shared_ptr<const table::except> clauses)
        : control(true), body(std::move(body)), clauses(std::move(clauses)) {}
    flow execute(runtime& rt) override;
    control_ptr clone() const override { return std::make_shared<c_except>(body, clauses); }
    const control* active() const override;
    const control_ptr body;
    const std::shared_ptr<const table::except> clauses;

private:
    flow caught(const value& thrown, runtime& rt);
    scope_ptr try_;
    scope_ptr handler_;
};

// process::D v(args);
class c_start_p final : public control {
public:
    c_start_p(type_id_t pid, symbol variable, expr_list arguments)
        : control(false), pid(pid), variable(variable), arguments(std::move(arguments)) {}
    flow execute(runtime& rt) override;
    control_ptr clone() const override { return std::make_shared<c_start_p>(pid, variable, arguments); }
    const type_id_t pid;
    const symbol variable;
    const expr_list arguments;
};

// A script constructor's body: member initializers in order, then the body run to completion.
class c_constructor final : public control {
public:
    c_constructor(expr_list initializers, control_ptr body)
        : control(true), initializers(std::move(initializers)), body(std::move(body)) {}
    flow execute(runtime& rt) override;
    control_ptr clone() const override { return std::make_shared<c_constructor>(initializers, body->activation()); }
    const expr_list initializers;
    const control_ptr body;
};

} // namespace vorla
