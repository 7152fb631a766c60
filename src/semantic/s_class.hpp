// The definition part of the compiler: function definitions, and class definitions into class objects.
#pragma once

#include <utility>
#include <vector>

#include "semantic/s_statement.hpp"

namespace vorla {
class object;
}

namespace vorla::detail::semantic {

template <class Ch>
class s_class;

template <>
class s_class<wchar_t> : public s_statement<wchar_t> {
public:
    using s_statement<wchar_t>::s_statement;

    // A constructor's initializer list as written: (name, arguments) pairs, names distinct.
    using init_list = std::vector<std::pair<symbol, expr_list>>;

    // type name(params) { body } into target's function table.
    void eval_function_def(const pnode& n, nspace& target);
    // class Name [: Base] [{ body }] ; into a class object defined in the namespace.
    void eval_class_def(const pnode& n);
    // Name(params) [: initializers] { body } into the class's constructor table.
    void eval_class_constructor(const pnode& n, object& cls);
    // `ctor_init_list` to its pairs; a name met twice is refused.
    init_list eval_constructor_list(const pnode& n);
    // operator T() { body } as the class's conversion to T.
    void eval_operator_def(const pnode& n, object& cls);

private:
    void eval_class_body(const pnode& body, object& cls);
};

} // namespace vorla::detail::semantic
