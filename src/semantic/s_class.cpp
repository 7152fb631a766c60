// Function definitions (and, for now, the refusal of class definitions).
#include "semantic/s_class.hpp"

#include <stdexcept>

#include "nspace.hpp"
#include "symbol.hpp"

namespace vorla::detail::semantic {

void s_class<wchar_t>::eval_function_def(const pnode& n, nspace& target)
{
    VORLA_WRAP(VORLA_EXCEPTION("vorla::detail::semantic::s_class<wchar_t>::eval_function_def", "catch exception"), {
        const auto& c = n.children;
        const type_id_t return_type = eval_ex_type(c.at(0));
        const symbol name = intern(leaf_text(c.at(1)));
        table::parameter_list params = eval_param_list(c.at(2));
        control_ptr body = eval_block(c.at(3));
        target.functions->define(params, return_type, name, std::move(body));
    });
}

void s_class<wchar_t>::eval_class_def(const pnode& n)
{
    throw VORLA_EXCEPTION("vorla::detail::semantic::s_class<wchar_t>::eval_class_def",
                          "class definitions are not supported yet, class=")
        << leaf_text(n.children.at(0));
}

} // namespace vorla::detail::semantic
