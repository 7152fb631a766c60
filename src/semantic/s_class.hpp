// The definition part of the compiler: function definitions into a namespace's function table.
#pragma once

#include "semantic/s_statement.hpp"

namespace vorla::detail::semantic {

template <class Ch>
class s_class;

template <>
class s_class<wchar_t> : public s_statement<wchar_t> {
public:
    using s_statement<wchar_t>::s_statement;

    // type name(params) { body } into target's function table.
    void eval_function_def(const pnode& n, nspace& target);
    // class Name ... ; is refused for now: class objects are not built by this compiler yet.
    void eval_class_def(const pnode& n);
};

} // namespace vorla::detail::semantic
