// Function definitions and class definitions: members, constructors with their initializer lists,
// conversion operators and member functions, entered into the class object.
#include "semantic/s_class.hpp"

#include <algorithm>
#include <stdexcept>
#include <unordered_map>

#include "expression/nodes.hpp"
#include "expression/statements.hpp"
#include "nspace.hpp"
#include "object.hpp"
#include "symbol.hpp"

namespace vorla::detail::semantic {

namespace {
constexpr const char* fn_function_def = "vorla::detail::semantic::s_class<wchar_t>::eval_function_def";
constexpr const char* fn_class_def = "vorla::detail::semantic::s_class<wchar_t>::eval_class_def";
constexpr const char* fn_constructor = "vorla::detail::semantic::s_class<wchar_t>::eval_class_constructor";
constexpr const char* fn_constructor_list = "vorla::detail::semantic::s_class<wchar_t>::eval_constructor_list";
} // namespace

void s_class<wchar_t>::eval_function_def(const pnode& n, nspace& target)
{
    wrap_failure([] { return VORLA_EXCEPTION(fn_function_def, "catch exception"); }, [&] {
        const auto& c = n.children;
        const type_id_t return_type = eval_ex_type(c.at(0));
        const symbol name = intern(leaf_text(c.at(1)));
        table::parameter_list params = eval_param_list(c.at(2));
        control_ptr body = eval_block(c.at(3));
        try {
            target.functions->define(params, return_type, name, std::move(body));
        } catch (exception& e) {
            e.script().mark(at(c.at(1)));
            throw;
        }
    });
}

// The class object exists before its body is compiled, so the body may name its own class.
void s_class<wchar_t>::eval_class_def(const pnode& n)
{
    wrap_failure([] { return VORLA_EXCEPTION(fn_class_def, "catch exception"); }, [&] {
        const auto& c = n.children;
        std::shared_ptr<object> cls;
        try {
            cls = space.define_object(leaf_text(c.at(0)));
        } catch (exception& e) {
            e.script().mark(at(c.at(0)));
            throw;
        }
        for (std::size_t i = 1; i < c.size(); ++i) {
            if (c[i].id == rule::base_clause) {
                try {
                    cls->base_id = space.find_typeid(leaf_text(c[i]));
                } catch (exception& e) {
                    e.script().mark(at(c[i]));
                    e.explain("no class named '" + narrow(leaf_text(c[i])) + "' to derive from");
                    throw;
                }
                // A host type has no script part to build on: its objects are the host's.
                if (space.host_types->count(cls->base_id)) {
                    exception e = VORLA_EXCEPTION(fn_class_def, "base class is a host type, id=") << leaf_text(c[i]);
                    e.script().mark(at(c[i]));
                    e.explain("'" + narrow(leaf_text(c[i])) + "' is a type of the host, which no class can derive from");
                    throw e;
                }
            } else if (c[i].id == rule::class_body) {
                eval_class_body(c[i], *cls);
            }
        }
    });
}

// Members first, wherever they stand: a constructor must know every member to complete its list.
void s_class<wchar_t>::eval_class_body(const pnode& body, object& cls)
{
    for (const pnode& d : body.children) {
        if (d.id != rule::member_decl) continue;
        const type_id_t type = eval_ex_type(d.children.at(0));
        for (std::size_t i = 1; i < d.children.size(); ++i) {
            const pnode& decl = d.children[i];
            cls.define_member(type, intern(leaf_text(decl)), decl.id == rule::member_ref_declarator);
        }
    }
    for (const pnode& d : body.children) {
        if (d.id != rule::member_def) continue;
        const pnode& def = d.children.at(0);
        try {
            switch (def.id) {
            case rule::constructor_def: eval_class_constructor(def, cls); break;
            case rule::operator_member: eval_operator_def(def.children.at(0), cls); break;
            case rule::function_def: eval_function_def(def, cls); break;
            default: throw VORLA_EXCEPTION(fn_class_def, "undefined, rule=") << rule_name(def.id);
            }
        } catch (exception& e) {
            e.script().mark(at(def));
            throw;
        }
    }
}

s_class<wchar_t>::init_list s_class<wchar_t>::eval_constructor_list(const pnode& n)
{
    init_list out;
    const auto& c = n.children;
    for (std::size_t i = 0; i + 1 < c.size(); i += 2) {
        const symbol name = intern(leaf_text(c[i]));
        for (const auto& entry : out)
            if (entry.first == name) {
                exception e = VORLA_EXCEPTION(fn_constructor_list, "invalid constructor list, id=") << *name;
                e.script().mark(at(c[i]));
                e.explain("'" + narrow(*name) + "' is initialized twice");
                throw e;
            }
        out.emplace_back(name, eval_call_args(c[i + 1]));
    }
    return out;
}

// The initializers run in three groups: default constructions of the members the list leaves out,
// then the base made from nothing when the list leaves it out, then the list as written.
void s_class<wchar_t>::eval_class_constructor(const pnode& n, object& cls)
{
    const auto& c = n.children;
    const std::wstring& constructor_name = leaf_text(c.at(0));
    table::parameter_list params = eval_param_list(c.at(1));
    init_list list;
    std::unordered_map<symbol, pnode> list_nodes;  // where each initializer was written
    std::size_t block_at = 2;
    if (c.at(2).id == rule::ctor_init_list) {
        list = eval_constructor_list(c[2]);
        block_at = 3;
        for (std::size_t i = 0; i + 1 < c[2].children.size(); i += 2)
            list_nodes.emplace(intern(leaf_text(c[2].children[i])), c[2].children[i]);
    }
    control_ptr body = eval_block(c.at(block_at));

    const std::wstring base_name = cls.base_id ? space.types->find_str(cls.base_id) : std::wstring();
    auto names_base = [&](symbol name) { return cls.base_id && *name == base_name; };

    object::member_table unmentioned = *cls.members;
    for (const auto& [name, arguments] : list) {
        if (names_base(name)) continue;
        const auto at = std::find_if(unmentioned.begin(), unmentioned.end(),
                                     [name = name](const auto& m) { return m.first == name; });
        if (at != unmentioned.end()) unmentioned.erase(at);
        if (!cls.find_member_type(name))
            throw VORLA_EXCEPTION(fn_constructor, "undefined id, id=")
                      .explain("class " + narrow(cls.name) + " has no member '" + narrow(*name) + "' to initialize")
                << *name;
    }

    expr_list initializers;
    for (const auto& [name, m] : unmentioned) {
        if (m.reference)
            throw VORLA_EXCEPTION(fn_constructor, "uninitialized refference, ")
                      .explain("the reference member '" + narrow(*name) + "' must be initialized by every constructor")
                << space.type_name(m.type) << "& " << *name;
        initializers.push_back(placed_at(std::make_shared<e_declare_member>(name, m.type, expr_list{}), c.at(0)));
    }
    const bool base_listed = std::any_of(list.begin(), list.end(), [&](const auto& e) { return names_base(e.first); });
    if (cls.base_id && !base_listed) initializers.push_back(placed_at(std::make_shared<e_base>(expr_list{}), c.at(0)));
    for (auto& [name, arguments] : list) {
        const pnode& written = list_nodes.at(name);
        if (names_base(name)) {
            initializers.push_back(placed_at(std::make_shared<e_base>(std::move(arguments)), written));
            continue;
        }
        const object::member_type& m = *cls.find_member_type(name);
        if (m.reference) {
            if (arguments.size() != 1)
                throw VORLA_EXCEPTION(fn_constructor, "invalid argument count of refference constructor, ")
                    << space.type_name(m.type) << "& " << *name;
            initializers.push_back(placed_at(std::make_shared<e_ref_member>(name, m.type, arguments.front()), written));
        } else {
            initializers.push_back(placed_at(std::make_shared<e_declare_member>(name, m.type, std::move(arguments)), written));
        }
    }
    cls.define_constructor(params, constructor_name,
                           std::make_shared<c_constructor>(std::move(initializers), std::move(body)));
}

// Only the six scalar and string conversions exist; a body for another type is compiled (so its
// errors still show) and dropped.
void s_class<wchar_t>::eval_operator_def(const pnode& n, object& cls)
{
    const auto& c = n.children;
    const type_id_t type = eval_ex_type(c.at(0));
    control_ptr body = eval_block(c.at(1));
    switch (type) {
    case tid::boolean: cls.cast_bool = std::move(body); break;
    case tid::signed_: cls.cast_int = std::move(body); break;
    case tid::unsigned_: cls.cast_unsigned = std::move(body); break;
    case tid::float_: cls.cast_float = std::move(body); break;
    case tid::double_: cls.cast_double = std::move(body); break;
    case tid::string_: cls.cast_string = std::move(body); break;
    default: break;
    }
}

} // namespace vorla::detail::semantic
