// The parse tree handed from the grammar to the compiler: rule identities, plain nodes, the parse result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vorla {
class offset_map;
}

namespace vorla::detail::semantic {

// Every grammar rule, numbered in declaration order; the compiler recognises nodes by these.
enum class rule : int {
    kw_bool = 0,
    kw_unsigned,
    kw_int,
    kw_float,
    kw_double,
    kw_string,
    kw_unsigned_int,
    kw_nil,
    kw_ref,
    kw_typeid,
    kw_vector,  // 10
    kw_list,
    kw_timer,
    kw_hash,
    kw_bad_cast,
    kw_range_error,
    kw_this,
    kw_true,
    kw_false,
    kw_if,
    kw_else,  // 20
    kw_while,
    kw_return,
    kw_break,
    kw_continue,
    kw_process,
    kw_inline,
    kw_class,
    kw_operator,
    kw_include,
    kw_using,  // 30
    kw_try,
    kw_catch,
    kw_throw,
    reserved_word,
    builtin_type,
    container_type,
    op_assign,
    op_add_assign,
    op_sub_assign,
    op_mul_assign,  // 40
    op_div_assign,
    op_mod_assign,
    op_or,
    op_and,
    op_eq,
    op_ne,
    op_gt,
    op_lt,
    op_ge,
    op_le,  // 50
    op_plus,
    op_minus,
    op_mul,
    op_div,
    op_mod,
    op_incr,
    op_decr,
    op_not,
    op_scope,
    numeric_literal,  // 60
    string_literal,
    include_path,
    hex_digits,
    hex_prefix,
    exponent,
    hex_literal,
    octal_literal,
    decimal_literal,
    real_literal,
    unsigned_suffix,  // 70
    float_suffix,
    underscore,
    dot,
    lparen,
    rparen,
    comma,
    lbrace,
    rbrace,
    semicolon,
    colon,  // 80
    ampersand,
    type_name,
    identifier,
    identifier_word,
    expression,
    assign_expr,
    or_expr,
    and_expr,
    equality_expr,
    relational_expr,  // 90
    additive_expr,
    multiplicative_expr,
    unary_expr,
    postfix_expr,
    primary_expr,
    assign_op,
    relational_op,
    call_args,
    using_call,
    param_list,  // 100
    param,
    statement,
    block,
    selection_stmt,
    jump_stmt,
    simple_stmt,
    try_stmt,
    if_stmt,
    while_stmt,
    condition,  // 110
    declaration,
    declarator,
    ref_declarator,
    ctor_args,
    initializer,
    inline_stmt,
    process_stmt,
    function_def,
    class_def,
    base_clause,  // 120
    class_body,
    member_decl,
    member_def,
    constructor_def,
    operator_member,
    ctor_init_list,
    operator_def,
    empty_parens,
    member_ref_declarator,
    member_declarator,  // 130
    program,
    process_def,
    inline_def,
    include_def = 134
};

inline constexpr int rule_count = 135;

// The rule's own name ("kw_bool", "identifier_word", ...); "?" for a number outside the set.
const char* rule_name(rule r);

struct pnode {
    rule id = rule::program;  // the rule that made the node; for a leaf, the rule whose right-hand side matched it
    bool leaf = false;
    std::wstring text;  // a leaf's matched text; empty for inner nodes
    std::vector<pnode> children;
    // Where the node starts in the source text (before comments were stripped): for an inner node,
    // its first leaf, so whitespace the rule skipped at its head does not count.
    std::uint32_t offset = 0;
};

struct parse_info {
    bool match = false;       // `program` matched (it always does, possibly with length 0)
    bool full = false;        // the whole text up to its first NUL was consumed
    std::size_t length = 0;   // characters matched
    std::wstring stop;        // the unparsed rest, up to the first NUL
    pnode tree;               // the `program` node of what matched
    // The furthest any alternative of the grammar read before giving up, as a source offset: where
    // a text that does not parse went wrong.
    std::size_t furthest = 0;
    // Advice when the text stops at one of the grammar's known traps (see parse_hint); else empty.
    std::string hint;
};

// The advice for a text (comments stripped) whose parse went no further than `at`, when what stands
// there is one of the traps this grammar sets for people used to other languages; empty otherwise.
std::string parse_hint(const std::wstring& text, std::size_t at);

// When a text that does not parse opens more braces than it closes: the `{` most likely left open (one
// whose `}` stands under another indent, else the innermost left open), as an offset; npos otherwise.
std::size_t unclosed_brace(const std::wstring& text);

// The type of this language that a type name from another language means ("integer" -> "int"), or null.
const char* familiar_type(const std::wstring& name);

// Parses the stripped text up to its first NUL from rule `program`. Never throws for bad input;
// nesting too deep for the stack simply ends the match at that point. Offsets are mapped back
// through `map` (the cuts the comment stripper made) when one is given.
parse_info parse_program(const std::wstring& stripped, const offset_map* map = nullptr);

}  // namespace vorla::detail::semantic
