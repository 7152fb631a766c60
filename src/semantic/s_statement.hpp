// The statement part of the compiler: blocks, statements and declarations into control nodes and e_declare.
#pragma once

#include <cstddef>

#include "semantic/core.hpp"
#include "table/routine.hpp"

namespace vorla::detail::semantic {

template <class Ch>
class s_statement;

template <>
class s_statement<wchar_t> : public core<wchar_t> {
public:
    using core<wchar_t>::core;

    // `block` to a c_compound.
    control_ptr eval_block(const pnode& n);
    // `statement` to its control node.
    control_ptr eval_statement(const pnode& n);
    control_ptr statement_kind(const pnode& c);
    // `declaration` to an e_declare (statements and global declarations alike).
    expr eval_declaration(const pnode& n);
    // `condition` to its expression.
    expr eval_condition(const pnode& n);
    // `param_list` to parameter records; every routine definition and catch clause uses it.
    table::parameter_list eval_param_list(const pnode& n);

protected:
    control_ptr eval_if_stmt(const pnode& n);
    control_ptr eval_while_stmt(const pnode& n);
    control_ptr eval_jump_stmt(const pnode& n);
    control_ptr eval_except_stmt(const pnode& n);
    control_ptr eval_simple_stmt(const pnode& n);
    control_ptr eval_inline_stmt(const pnode& n);
    control_ptr eval_process_stmt(const pnode& n);
    expr eval_constructor(const pnode& n, type_id_t type);
    expr eval_ref_constructor(const pnode& n, type_id_t type);

private:
    std::size_t statement_depth_ = 0;  // statements being compiled inside one another
};

} // namespace vorla::detail::semantic
