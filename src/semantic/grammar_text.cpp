// Rule names, the printed form of a parse tree, and the strip-then-parse pipeline used by the tools.
#include <array>
#include <string_view>
#include <utility>
#include <vector>

#include "comment_p.hpp"
#include "exception.hpp"
#include "semantic/grammar.hpp"

namespace vorla::detail::semantic {
namespace {

#define VORLA_RULE(name) std::pair<rule, const char*>{rule::name, #name}
constexpr std::array<std::pair<rule, const char*>, rule_count> names{
    VORLA_RULE(kw_bool), VORLA_RULE(kw_unsigned), VORLA_RULE(kw_int), VORLA_RULE(kw_float), VORLA_RULE(kw_double),
    VORLA_RULE(kw_string), VORLA_RULE(kw_unsigned_int), VORLA_RULE(kw_nil), VORLA_RULE(kw_ref),
    VORLA_RULE(kw_typeid), VORLA_RULE(kw_vector), VORLA_RULE(kw_list), VORLA_RULE(kw_timer), VORLA_RULE(kw_hash),
    VORLA_RULE(kw_bad_cast), VORLA_RULE(kw_range_error), VORLA_RULE(kw_this), VORLA_RULE(kw_true),
    VORLA_RULE(kw_false), VORLA_RULE(kw_if), VORLA_RULE(kw_else), VORLA_RULE(kw_while), VORLA_RULE(kw_return),
    VORLA_RULE(kw_break), VORLA_RULE(kw_continue), VORLA_RULE(kw_process), VORLA_RULE(kw_inline),
    VORLA_RULE(kw_class), VORLA_RULE(kw_operator), VORLA_RULE(kw_include), VORLA_RULE(kw_using), VORLA_RULE(kw_try),
    VORLA_RULE(kw_catch), VORLA_RULE(kw_throw), VORLA_RULE(reserved_word), VORLA_RULE(builtin_type),
    VORLA_RULE(container_type), VORLA_RULE(op_assign), VORLA_RULE(op_add_assign), VORLA_RULE(op_sub_assign),
    VORLA_RULE(op_mul_assign), VORLA_RULE(op_div_assign), VORLA_RULE(op_mod_assign), VORLA_RULE(op_or),
    VORLA_RULE(op_and), VORLA_RULE(op_eq), VORLA_RULE(op_ne), VORLA_RULE(op_gt), VORLA_RULE(op_lt),
    VORLA_RULE(op_ge), VORLA_RULE(op_le), VORLA_RULE(op_plus), VORLA_RULE(op_minus), VORLA_RULE(op_mul),
    VORLA_RULE(op_div), VORLA_RULE(op_mod), VORLA_RULE(op_incr), VORLA_RULE(op_decr), VORLA_RULE(op_not),
    VORLA_RULE(op_scope), VORLA_RULE(numeric_literal), VORLA_RULE(string_literal), VORLA_RULE(include_path),
    VORLA_RULE(hex_digits), VORLA_RULE(hex_prefix), VORLA_RULE(exponent), VORLA_RULE(hex_literal),
    VORLA_RULE(octal_literal), VORLA_RULE(decimal_literal), VORLA_RULE(real_literal), VORLA_RULE(unsigned_suffix),
    VORLA_RULE(float_suffix), VORLA_RULE(underscore), VORLA_RULE(dot), VORLA_RULE(lparen), VORLA_RULE(rparen),
    VORLA_RULE(comma), VORLA_RULE(lbrace), VORLA_RULE(rbrace), VORLA_RULE(semicolon), VORLA_RULE(colon),
    VORLA_RULE(ampersand), VORLA_RULE(type_name), VORLA_RULE(identifier), VORLA_RULE(identifier_word),
    VORLA_RULE(expression), VORLA_RULE(assign_expr), VORLA_RULE(or_expr), VORLA_RULE(and_expr),
    VORLA_RULE(equality_expr), VORLA_RULE(relational_expr), VORLA_RULE(additive_expr),
    VORLA_RULE(multiplicative_expr), VORLA_RULE(unary_expr), VORLA_RULE(postfix_expr), VORLA_RULE(primary_expr),
    VORLA_RULE(assign_op), VORLA_RULE(relational_op), VORLA_RULE(call_args), VORLA_RULE(using_call),
    VORLA_RULE(param_list), VORLA_RULE(param), VORLA_RULE(statement), VORLA_RULE(block),
    VORLA_RULE(selection_stmt), VORLA_RULE(jump_stmt), VORLA_RULE(simple_stmt), VORLA_RULE(try_stmt),
    VORLA_RULE(if_stmt), VORLA_RULE(while_stmt), VORLA_RULE(condition), VORLA_RULE(declaration),
    VORLA_RULE(declarator), VORLA_RULE(ref_declarator), VORLA_RULE(ctor_args), VORLA_RULE(initializer),
    VORLA_RULE(inline_stmt), VORLA_RULE(process_stmt), VORLA_RULE(function_def), VORLA_RULE(class_def),
    VORLA_RULE(base_clause), VORLA_RULE(class_body), VORLA_RULE(member_decl), VORLA_RULE(member_def),
    VORLA_RULE(constructor_def), VORLA_RULE(operator_member), VORLA_RULE(ctor_init_list), VORLA_RULE(operator_def),
    VORLA_RULE(empty_parens), VORLA_RULE(member_ref_declarator), VORLA_RULE(member_declarator), VORLA_RULE(program),
    VORLA_RULE(process_def), VORLA_RULE(inline_def), VORLA_RULE(include_def)};
#undef VORLA_RULE

// The name table doubles as a check that the enumeration runs 0..134 without gaps.
constexpr bool names_in_order()
{
    for (int i = 0; i < rule_count; ++i)
        if (static_cast<int>(names[i].first) != i) return false;
    return true;
}
static_assert(names_in_order());
static_assert(static_cast<int>(rule::kw_throw) == 33 && static_cast<int>(rule::op_scope) == 59 &&
              static_cast<int>(rule::underscore) == 72 && static_cast<int>(rule::ampersand) == 81 &&
              static_cast<int>(rule::primary_expr) == 95 && static_cast<int>(rule::statement) == 102 &&
              static_cast<int>(rule::program) == 131 && static_cast<int>(rule::include_def) == 134);

void append_escaped(std::wstring& out, std::wstring_view text, bool only_newlines)
{
    for (wchar_t c : text) {
        if (c == L'\n') out += L"\\n";
        else if (only_newlines) out += c;
        else if (c == L'\t') out += L"\\t";
        else if (c == L'"') out += L"\\\"";
        else if (c == L'\\') out += L"\\\\";
        else out += c;
    }
}

}  // namespace

const char* rule_name(rule r)
{
    const int i = static_cast<int>(r);
    return i >= 0 && i < rule_count ? names[i].second : "?";
}

std::string dump_tree(const pnode& tree)
{
    std::string out;
    std::vector<std::pair<pnode, std::size_t>> todo{{tree, 0}};
    while (!todo.empty()) {
        const auto [n, depth] = todo.back();
        const pnode* const node = &n;
        todo.pop_back();
        out.append(2 * depth, ' ');
        out += rule_name(node->id);
        if (node->leaf) {
            std::wstring quoted = L" \"";
            append_escaped(quoted, node->text, false);
            quoted += L'"';
            out += narrow(quoted);
        }
        out += '\n';
        for (auto it = node->children.rbegin(); it != node->children.rend(); ++it) todo.emplace_back(*it, depth + 1);
    }
    return out;
}

std::string failure_line(const parse_info& info)
{
    std::wstring stop;
    append_escaped(stop, info.stop, true);
    return "parsing failure, match=" + std::string(info.match ? "1" : "0") + " full=" + (info.full ? "1" : "0") +
           " length=" + std::to_string(info.length) + " stop=" + narrow(stop);
}

parse_info strip_and_parse(const std::wstring& source)
{
    std::wstring stripped;
    offset_map map;
    try {
        stripped = comment_p(source, map);
    } catch (const vorla::exception&) {
        return parse_info{};
    }
    return parse_program(stripped, &map);
}

bool parse_report(const std::wstring& source, std::string& out)
{
    const parse_info info = strip_and_parse(source);
    if (info.full) {
        out = dump_tree(info.tree);
        return true;
    }
    out = failure_line(info) + '\n';
    return false;
}

}  // namespace vorla::detail::semantic
