// The grammar as a hand-written recursive-descent parser that builds the plain tree directly.
//
// Each rule is one function. Ordered choice, repetition and optional parts behave as in a PEG: the
// first alternative that matches wins, repetition is greedy and never gives back, and a failed attempt
// leaves neither text consumed nor nodes behind. A rule that matches adds exactly one node, holding
// the nodes of its parts; a bare character or keyword it matches itself becomes a leaf named after it.
// Parts the compiler never needs (punctuation, keywords that only introduce a construct, whitespace)
// are recognised without a node. The rule quoted above each function is the rule it implements.
#include <algorithm>
#include <cstdint>
#include <cwctype>
#include <string_view>
#include <vector>

#include "comment_p.hpp"
#include "locale.hpp"
#include "semantic/grammar.hpp"
#include "semantic/keywords.hpp"
#include "stack_guard.hpp"

namespace vorla::detail::semantic {
namespace {

// Every rule adds its node to the one builder; the name says what the parameter stands for: the list
// of nodes the rule adds to.
using nodes = tree_builder;

bool is_space(wchar_t c) { return iswspace_l(static_cast<std::wint_t>(c), ctype_locale()) != 0; }
bool is_letter(wchar_t c) { return iswalpha_l(static_cast<std::wint_t>(c), ctype_locale()) != 0; }
bool is_alnum(wchar_t c) { return iswalnum_l(static_cast<std::wint_t>(c), ctype_locale()) != 0; }
bool is_digit(wchar_t c) { return iswdigit_l(static_cast<std::wint_t>(c), ctype_locale()) != 0; }
bool is_hex(wchar_t c) { return (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F') || is_digit(c); }

const wchar_t* keyword_text(rule id) { return keywords[static_cast<std::size_t>(id)].text; }

class parser {
public:
    parser(const wchar_t* begin, const wchar_t* end, const offset_map* map)
        : p(begin), furthest(begin), begin_(begin), end_(end), map_(map)
    {
    }

    const wchar_t* p;         // where parsing stands
    const wchar_t* furthest;  // the furthest any attempt read: where a text that does not parse went wrong

    // program: *(ws | include_def | class_def | process_def | inline_def | function_def | declaration)
    bool program(nodes& out)
    {
        return node(rule::program, out, [&](nodes& k) {
            many(k, [&](nodes& m) {
                return alt(m, [&](nodes& a) { return space_leaf(rule::program, a); },
                           [&](nodes& a) { return include_def(a); }, [&](nodes& a) { return class_def(a); },
                           [&](nodes& a) { return process_def(a); }, [&](nodes& a) { return inline_def(a); },
                           [&](nodes& a) { return function_def(a); }, [&](nodes& a) { return declaration(a); });
            });
            return true;
        });
    }

private:
    const wchar_t* const begin_;
    const wchar_t* const end_;
    const offset_map* const map_;

    std::uint32_t offset(const wchar_t* at) const
    {
        const auto stripped = static_cast<std::size_t>(at - begin_);
        return static_cast<std::uint32_t>(map_ ? map_->original(stripped) : stripped);
    }

    // ---- characters: each reads one character, and only on success ----

    void advance()
    {
        ++p;
        furthest = std::max(furthest, p);
    }
    template <class Test>
    bool one(Test test)
    {
        if (p == end_ || !test(*p)) return false;
        advance();
        return true;
    }
    bool ch(wchar_t c) { return one([c](wchar_t x) { return x == c; }); }
    bool any() { return one([](wchar_t) { return true; }); }
    // Any character but those in `stop`. A stop character still counts as read: it was looked at as a
    // character before it was refused, and a text that fails there failed after it.
    bool any_but(std::wstring_view stop)
    {
        if (p == end_) return false;
        if (stop.find(*p) != std::wstring_view::npos) {
            furthest = std::max(furthest, p + 1);
            return false;
        }
        advance();
        return true;
    }
    // A literal is read character by character: a partial match counts towards `furthest`.
    bool lit(const wchar_t* s)
    {
        const wchar_t* const from = p;
        for (; *s; ++s)
            if (!ch(*s)) {
                p = from;
                return false;
            }
        return true;
    }
    // *ws and +ws
    void spaces() { while (one(is_space)) {} }
    bool some_spaces()
    {
        if (!one(is_space)) return false;
        spaces();
        return true;
    }

    // ---- combinators ----

    // Runs `parts`, which appends the rule's children to a list of its own; on success adds the rule's
    // node. An inner node starts at its first child, or where the rule began when it has none.
    template <class Parts>
    bool node(rule id, nodes& out, Parts parts)
    {
        const wchar_t* const from = p;
        const tree_builder::point at = out.here();
        if (!parts(out)) {
            p = from;
            out.rewind(at);
            return false;
        }
        out.close(id, at, out.made_since(at) ? 0 : offset(from));
        return true;
    }
    void leaf(rule id, const wchar_t* from, nodes& out)
    {
        out.leaf(id, std::wstring_view(from, static_cast<std::size_t>(p - from)), offset(from));
    }
    // One attempt: on failure the text and the node list are as they were.
    template <class F>
    bool attempt(nodes& out, F f)
    {
        const wchar_t* const from = p;
        const tree_builder::point had = out.here();
        if (f(out)) return true;
        p = from;
        out.rewind(had);
        return false;
    }
    template <class... F>
    bool alt(nodes& out, F... f)
    {
        return (attempt(out, f) || ...);
    }
    template <class F>
    void many(nodes& out, F f)
    {
        for (const wchar_t* before = p; attempt(out, f) && p != before; before = p) {}
    }
    template <class F>
    bool some(nodes& out, F f)
    {
        if (!attempt(out, f)) return false;
        many(out, f);
        return true;
    }
    template <class F>
    bool optional(nodes& out, F f)
    {
        attempt(out, f);
        return true;
    }

    // ---- terminals with a node ----

    // The rule's node around a leaf of the text read since `from` (built directly: these rules are
    // tried far more often than they match, so nothing is made before the text is known to be there).
    void wrapped_leaf(rule id, const wchar_t* from, nodes& out)
    {
        const tree_builder::point at = out.here();
        leaf(id, from, out);
        out.close(id, at, 0);
    }
    // A rule that is one literal: the rule's node around a leaf of the text.
    bool literal_rule(rule id, const wchar_t* text, nodes& out)
    {
        const wchar_t* const from = p;
        if (!lit(text)) return false;
        wrapped_leaf(id, from, out);
        return true;
    }
    bool keyword(rule id, nodes& out) { return literal_rule(id, keyword_text(id), out); }
    // A rule that is one character out of `chars`.
    bool char_rule(rule id, std::wstring_view chars, nodes& out)
    {
        const wchar_t* const from = p;
        if (!one([chars](wchar_t c) { return chars.find(c) != std::wstring_view::npos; })) return false;
        wrapped_leaf(id, from, out);
        return true;
    }
    // A whitespace character kept as a leaf of the rule `id`.
    bool space_leaf(rule id, nodes& out)
    {
        const wchar_t* const from = p;
        if (!one(is_space)) return false;
        leaf(id, from, out);
        return true;
    }
    // A rule that is token(X): one leaf with all of X's text.
    template <class Recognise>
    bool token_rule(rule id, nodes& out, Recognise recognise)
    {
        const wchar_t* const from = p;
        if (!recognise()) {
            p = from;
            return false;
        }
        wrapped_leaf(id, from, out);
        return true;
    }
    // A recogniser tried once: on failure it has read nothing.
    template <class Recognise>
    bool try_read(Recognise recognise)
    {
        const wchar_t* const from = p;
        if (recognise()) return true;
        p = from;
        return false;
    }

    // ---- words ----

    // kw_unsigned_int: kw_unsigned >> +ws >> kw_int
    bool unsigned_int(nodes& out)
    {
        return node(rule::kw_unsigned_int, out, [&](nodes& k) {
            if (!keyword(rule::kw_unsigned, k) || !space_leaf(rule::kw_unsigned_int, k)) return false;
            while (space_leaf(rule::kw_unsigned_int, k)) {}
            return keyword(rule::kw_int, k);
        });
    }
    // builtin_type: kw_bool | kw_int | kw_unsigned_int | kw_float | kw_double | kw_string | kw_nil | kw_ref |
    //               kw_typeid | kw_bad_cast | kw_range_error
    bool builtin_type(nodes& out)
    {
        return node(rule::builtin_type, out, [&](nodes& k) {
            return keyword(rule::kw_bool, k) || keyword(rule::kw_int, k) || unsigned_int(k) ||
                   keyword(rule::kw_float, k) || keyword(rule::kw_double, k) || keyword(rule::kw_string, k) ||
                   keyword(rule::kw_nil, k) || keyword(rule::kw_ref, k) || keyword(rule::kw_typeid, k) ||
                   keyword(rule::kw_bad_cast, k) || keyword(rule::kw_range_error, k);
        });
    }
    // container_type: kw_vector | kw_list | kw_hash | kw_timer
    bool container_type(nodes& out)
    {
        return node(rule::container_type, out, [&](nodes& k) {
            return keyword(rule::kw_vector, k) || keyword(rule::kw_list, k) || keyword(rule::kw_hash, k) ||
                   keyword(rule::kw_timer, k);
        });
    }
    // reserved_word: builtin_type | container_type | kw_this | kw_true | kw_false | kw_if | kw_else | kw_while |
    //                kw_return | kw_break | kw_continue | kw_process | kw_inline | kw_class | kw_operator |
    //                kw_using | kw_try | kw_catch | kw_throw
    // Only its length matters: how much of the text the first matching alternative takes.
    bool reserved_word(nodes& scratch)
    {
        // The nodes made on the way are dropped by the caller.
        if (builtin_type(scratch) || container_type(scratch)) return true;
        for (rule id : {rule::kw_this, rule::kw_true, rule::kw_false, rule::kw_if, rule::kw_else, rule::kw_while,
                        rule::kw_return, rule::kw_break, rule::kw_continue, rule::kw_process, rule::kw_inline,
                        rule::kw_class, rule::kw_operator, rule::kw_using, rule::kw_try, rule::kw_catch,
                        rule::kw_throw})
            if (lit(keyword_text(id))) return true;
        return false;
    }
    // identifier_word: token((letter | underscore) >> *(alnum | underscore))
    bool identifier_word(nodes& out)
    {
        return token_rule(rule::identifier_word, out, [&] {
            if (!one(is_letter) && !ch(L'_')) return false;
            while (one(is_alnum) || ch(L'_')) {}
            return true;
        });
    }
    // identifier: identifier_word - reserved_word
    // A word is a name unless a reserved word, read from the same place, takes at least as much text.
    bool identifier(nodes& out)
    {
        return node(rule::identifier, out, [&](nodes& k) {
            const wchar_t* const from = p;
            if (!identifier_word(k)) return false;
            const wchar_t* const word_end = p;
            p = from;
            const tree_builder::point before = k.here();
            const bool reserved = reserved_word(k) && p >= word_end;
            k.rewind(before);
            p = word_end;
            return !reserved;
        });
    }
    // type_name: builtin_type | container_type | identifier
    bool type_name(nodes& out)
    {
        return node(rule::type_name, out, [&](nodes& k) {
            return alt(k, [&](nodes& a) { return builtin_type(a); }, [&](nodes& a) { return container_type(a); },
                       [&](nodes& a) { return identifier(a); });
        });
    }

    // ---- literals ----

    bool digits() { return one(is_digit) && (zero_or_more_digits(), true); }
    void zero_or_more_digits() { while (one(is_digit)) {} }
    // exponent: (e | E) >> (op_plus | op_minus) >> +digit
    bool exponent() { return try_read([&] { return (ch(L'e') || ch(L'E')) && (ch(L'+') || ch(L'-')) && digits(); }); }
    // real_literal: token(+digit >> exponent | *digit >> dot >> +digit >> !exponent |
    //                     +digit >> dot >> *digit >> !exponent)
    bool real_text()
    {
        return try_read([&] { return digits() && exponent(); }) ||
               try_read([&] { return (zero_or_more_digits(), ch(L'.')) && digits() && (exponent(), true); }) ||
               try_read([&] { return digits() && ch(L'.') && (zero_or_more_digits(), exponent(), true); });
    }
    // numeric_literal: real_literal >> !float_suffix | hex_literal >> !unsigned_suffix |
    //                  octal_literal >> !unsigned_suffix | decimal_literal >> !unsigned_suffix
    // hex_literal: token(hex_prefix >> +hex_digits); octal_literal: token('0' >> +digit);
    // decimal_literal: token(+digit)
    bool numeric_literal(nodes& out)
    {
        const auto suffixed = [&](nodes& k, rule suffix, std::wstring_view chars) {
            return optional(k, [&](nodes& s) { return char_rule(suffix, chars, s); });
        };
        return node(rule::numeric_literal, out, [&](nodes& k) {
            return alt(
                k,
                [&](nodes& a) {
                    return token_rule(rule::real_literal, a, [&] { return real_text(); }) &&
                           suffixed(a, rule::float_suffix, L"fF");
                },
                [&](nodes& a) {
                    return token_rule(rule::hex_literal, a,
                                      [&] { return ch(L'0') && (ch(L'x') || ch(L'X')) && one(is_hex) && (many_hex(), true); }) &&
                           suffixed(a, rule::unsigned_suffix, L"uU");
                },
                [&](nodes& a) {
                    return token_rule(rule::octal_literal, a, [&] { return ch(L'0') && digits(); }) &&
                           suffixed(a, rule::unsigned_suffix, L"uU");
                },
                [&](nodes& a) {
                    return token_rule(rule::decimal_literal, a, [&] { return digits(); }) &&
                           suffixed(a, rule::unsigned_suffix, L"uU");
                });
        });
    }
    void many_hex() { while (one(is_hex)) {} }
    // string_literal: drop('"') >> token(*('\\' >> anychar | (anychar - '"'))) >> drop('"')
    // The text of "" is an empty leaf placed at the opening quote.
    bool string_literal(nodes& out)
    {
        return node(rule::string_literal, out, [&](nodes& k) {
            const wchar_t* const quote = p;
            if (!ch(L'"')) return false;
            const wchar_t* const from = p;
            for (;;) {
                if (try_read([&] { return ch(L'\\') && any(); })) continue;
                if (!any_but(L"\"")) break;
            }
            leaf(rule::string_literal, from, k);
            if (from == p) k.move_last(offset(quote));
            return ch(L'"');
        });
    }
    // include_path: drop('<') >> token(+(anychar - '<' - '>')) >> drop('>') |
    //               drop('"') >> token(+(anychar - '"')) >> drop('"')
    bool include_path(nodes& out)
    {
        const auto quoted = [&](nodes& k, wchar_t open, wchar_t close, std::wstring_view stop) {
            if (!ch(open)) return false;
            const wchar_t* const from = p;
            if (!any_but(stop)) return false;
            while (any_but(stop)) {}
            leaf(rule::include_path, from, k);
            return ch(close);
        };
        return node(rule::include_path, out, [&](nodes& k) {
            return alt(k, [&](nodes& a) { return quoted(a, L'<', L'>', L"<>"); },
                       [&](nodes& a) { return quoted(a, L'"', L'"', L"\""); });
        });
    }

    // ---- expressions ----

    // expression: assign_expr
    bool expression(nodes& out)
    {
        return node(rule::expression, out, [&](nodes& k) { return assign_expr(k); });
    }
    // A left-to-right level: next >> *(op >> next), where `op` adds its node (or nothing, for && and ||).
    template <class Next, class Op>
    bool level(rule id, nodes& out, Next next, Op op)
    {
        return node(id, out, [&](nodes& k) {
            if (!next(k)) return false;
            many(k, [&](nodes& m) { return op(m) && next(m); });
            return true;
        });
    }
    // assign_expr: or_expr >> *(assign_op >> or_expr)
    // assign_op: op_assign | op_add_assign | op_sub_assign | op_mul_assign | op_div_assign | op_mod_assign
    bool assign_expr(nodes& out)
    {
        return level(
            rule::assign_expr, out, [&](nodes& k) { return or_expr(k); },
            [&](nodes& k) {
                return node(rule::assign_op, k, [&](nodes& o) {
                    return literal_rule(rule::op_assign, L"=", o) || literal_rule(rule::op_add_assign, L"+=", o) ||
                           literal_rule(rule::op_sub_assign, L"-=", o) ||
                           literal_rule(rule::op_mul_assign, L"*=", o) ||
                           literal_rule(rule::op_div_assign, L"/=", o) || literal_rule(rule::op_mod_assign, L"%=", o);
                });
            });
    }
    // or_expr: and_expr >> *(drop(op_or) >> and_expr)
    bool or_expr(nodes& out)
    {
        return level(rule::or_expr, out, [&](nodes& k) { return and_expr(k); }, [&](nodes&) { return lit(L"||"); });
    }
    // and_expr: equality_expr >> *(drop(op_and) >> equality_expr)
    bool and_expr(nodes& out)
    {
        return level(rule::and_expr, out, [&](nodes& k) { return equality_expr(k); },
                     [&](nodes&) { return lit(L"&&"); });
    }
    // equality_expr: relational_expr >> *((op_eq | op_ne) >> relational_expr)
    bool equality_expr(nodes& out)
    {
        return level(
            rule::equality_expr, out, [&](nodes& k) { return relational_expr(k); },
            [&](nodes& k) { return literal_rule(rule::op_eq, L"==", k) || literal_rule(rule::op_ne, L"!=", k); });
    }
    // relational_expr: additive_expr >> *(relational_op >> additive_expr)
    // relational_op: op_ge | op_le | op_gt | op_lt
    bool relational_expr(nodes& out)
    {
        return level(
            rule::relational_expr, out, [&](nodes& k) { return additive_expr(k); },
            [&](nodes& k) {
                return node(rule::relational_op, k, [&](nodes& o) {
                    return literal_rule(rule::op_ge, L">=", o) || literal_rule(rule::op_le, L"<=", o) ||
                           literal_rule(rule::op_gt, L">", o) || literal_rule(rule::op_lt, L"<", o);
                });
            });
    }
    // additive_expr: multiplicative_expr >> *((op_plus | op_minus) >> multiplicative_expr)
    bool additive_expr(nodes& out)
    {
        return level(
            rule::additive_expr, out, [&](nodes& k) { return multiplicative_expr(k); },
            [&](nodes& k) { return literal_rule(rule::op_plus, L"+", k) || literal_rule(rule::op_minus, L"-", k); });
    }
    // multiplicative_expr: unary_expr >> *((op_mul | op_div | op_mod) >> unary_expr)
    bool multiplicative_expr(nodes& out)
    {
        return level(
            rule::multiplicative_expr, out, [&](nodes& k) { return unary_expr(k); },
            [&](nodes& k) {
                return literal_rule(rule::op_mul, L"*", k) || literal_rule(rule::op_div, L"/", k) ||
                       literal_rule(rule::op_mod, L"%", k);
            });
    }
    // unary_expr: *(op_incr | op_decr | op_not | op_minus) >> postfix_expr
    bool unary_expr(nodes& out)
    {
        return node(rule::unary_expr, out, [&](nodes& k) {
            many(k, [&](nodes& m) {
                return literal_rule(rule::op_incr, L"++", m) || literal_rule(rule::op_decr, L"--", m) ||
                       literal_rule(rule::op_not, L"!", m) || literal_rule(rule::op_minus, L"-", m);
            });
            return postfix_expr(k);
        });
    }
    // postfix_expr: primary_expr >> *(drop(dot) >> identifier >> !call_args)
    bool postfix_expr(nodes& out)
    {
        return node(rule::postfix_expr, out, [&](nodes& k) {
            if (!primary_expr(k)) return false;
            many(k, [&](nodes& m) { return ch(L'.') && identifier(m) && optional(m, [&](nodes& a) { return call_args(a); }); });
            return true;
        });
    }
    // primary_expr: guard >> drop(*ws) >> (kw_this | kw_true | kw_false | using_call | numeric_literal |
    //               string_literal | identifier_word >> !call_args | drop(lparen) >> expression >> drop(rparen))
    //               >> drop(*ws)
    // Every nesting of expressions passes through here, so the stack guard stands at its head.
    bool primary_expr(nodes& out)
    {
        return node(rule::primary_expr, out, [&](nodes& k) {
            if (stack_exhausted()) return false;
            spaces();
            const bool hit = alt(
                k, [&](nodes& a) { return keyword(rule::kw_this, a); }, [&](nodes& a) { return keyword(rule::kw_true, a); },
                [&](nodes& a) { return keyword(rule::kw_false, a); }, [&](nodes& a) { return using_call(a); },
                [&](nodes& a) { return numeric_literal(a); }, [&](nodes& a) { return string_literal(a); },
                [&](nodes& a) { return identifier_word(a) && optional(a, [&](nodes& c) { return call_args(c); }); },
                [&](nodes& a) { return ch(L'(') && expression(a) && ch(L')'); });
            if (!hit) return false;
            spaces();
            return true;
        });
    }
    // call_args: drop(*ws >> lparen >> *ws) >> !(expression >> *(drop(comma) >> expression)) >>
    //            drop(rparen >> *ws)
    bool call_args(nodes& out)
    {
        return node(rule::call_args, out, [&](nodes& k) {
            spaces();
            if (!ch(L'(')) return false;
            spaces();
            optional(k, [&](nodes& a) {
                if (!expression(a)) return false;
                many(a, [&](nodes& m) { return ch(L',') && expression(m); });
                return true;
            });
            if (!ch(L')')) return false;
            spaces();
            return true;
        });
    }
    // using_call: drop(kw_using >> op_scope) >> identifier >> call_args
    bool using_call(nodes& out)
    {
        return node(rule::using_call, out,
                    [&](nodes& k) { return lit(L"using") && lit(L"::") && identifier(k) && call_args(k); });
    }

    // ---- statements ----

    // param_list: drop(*ws >> lparen) >> (param >> *(drop(comma) >> param) | drop(*ws)) >> drop(rparen >> *ws)
    bool param_list(nodes& out)
    {
        return node(rule::param_list, out, [&](nodes& k) {
            spaces();
            if (!ch(L'(')) return false;
            const bool listed = alt(
                k,
                [&](nodes& a) {
                    if (!param(a)) return false;
                    many(a, [&](nodes& m) { return ch(L',') && param(m); });
                    return true;
                },
                [&](nodes&) { return spaces(), true; });
            if (!listed || !ch(L')')) return false;
            spaces();
            return true;
        });
    }
    // param: drop(*ws) >> type_name >> (drop(*ws) >> ampersand >> drop(*ws) | drop(+ws)) >> identifier >>
    //        drop(*ws)
    bool param(nodes& out)
    {
        return node(rule::param, out, [&](nodes& k) {
            spaces();
            if (!type_name(k)) return false;
            const bool passing = alt(
                k,
                [&](nodes& a) {
                    spaces();
                    if (!char_rule(rule::ampersand, L"&", a)) return false;
                    spaces();
                    return true;
                },
                [&](nodes&) { return some_spaces(); });
            if (!passing || !identifier(k)) return false;
            spaces();
            return true;
        });
    }
    // statement: guard >> drop(*ws) >> (block | selection_stmt | jump_stmt | try_stmt | simple_stmt) >> drop(*ws)
    // Every nesting of statements passes through here.
    bool statement(nodes& out)
    {
        return node(rule::statement, out, [&](nodes& k) {
            if (stack_exhausted()) return false;
            spaces();
            const bool hit = alt(k, [&](nodes& a) { return block(a); }, [&](nodes& a) { return selection_stmt(a); },
                                 [&](nodes& a) { return jump_stmt(a); }, [&](nodes& a) { return try_stmt(a); },
                                 [&](nodes& a) { return simple_stmt(a); });
            if (!hit) return false;
            spaces();
            return true;
        });
    }
    // block: drop(*ws >> lbrace >> *ws) >> *statement >> drop(*ws >> rbrace >> *ws)
    bool block(nodes& out)
    {
        return node(rule::block, out, [&](nodes& k) {
            spaces();
            if (!ch(L'{')) return false;
            spaces();
            many(k, [&](nodes& m) { return statement(m); });
            spaces();
            if (!ch(L'}')) return false;
            spaces();
            return true;
        });
    }
    // selection_stmt: if_stmt | while_stmt
    bool selection_stmt(nodes& out)
    {
        return node(rule::selection_stmt, out, [&](nodes& k) {
            return alt(k, [&](nodes& a) { return if_stmt(a); }, [&](nodes& a) { return while_stmt(a); });
        });
    }
    // jump_stmt: ((kw_return | kw_throw) >> drop(+ws) >> expression | (kw_break | kw_continue) >> drop(*ws)) >>
    //            semicolon
    bool jump_stmt(nodes& out)
    {
        return node(rule::jump_stmt, out, [&](nodes& k) {
            const bool hit = alt(
                k,
                [&](nodes& a) {
                    return (keyword(rule::kw_return, a) || keyword(rule::kw_throw, a)) && some_spaces() &&
                           expression(a);
                },
                [&](nodes& a) {
                    return (keyword(rule::kw_break, a) || keyword(rule::kw_continue, a)) && (spaces(), true);
                });
            return hit && char_rule(rule::semicolon, L";", k);
        });
    }
    // simple_stmt: inline_stmt | process_stmt | declaration | expression >> semicolon | semicolon
    bool simple_stmt(nodes& out)
    {
        return node(rule::simple_stmt, out, [&](nodes& k) {
            return alt(k, [&](nodes& a) { return inline_stmt(a); }, [&](nodes& a) { return process_stmt(a); },
                       [&](nodes& a) { return declaration(a); },
                       [&](nodes& a) { return expression(a) && char_rule(rule::semicolon, L";", a); },
                       [&](nodes& a) { return char_rule(rule::semicolon, L";", a); });
        });
    }
    // try_stmt: drop(kw_try) >> block >> +(drop(kw_catch) >> param_list >> block)
    bool try_stmt(nodes& out)
    {
        return node(rule::try_stmt, out, [&](nodes& k) {
            return lit(L"try") && block(k) &&
                   some(k, [&](nodes& m) { return lit(L"catch") && param_list(m) && block(m); });
        });
    }
    // if_stmt: drop(kw_if) >> condition >> statement >>
    //          *(drop(kw_else >> *ws >> kw_if) >> condition >> statement) >> !(drop(kw_else) >> statement)
    // An else-if chain is read link by link, so its tree is flat: condition, statement, condition, ...
    bool if_stmt(nodes& out)
    {
        return node(rule::if_stmt, out, [&](nodes& k) {
            if (!lit(L"if") || !condition(k) || !statement(k)) return false;
            many(k, [&](nodes& m) {
                return lit(L"else") && (spaces(), true) && lit(L"if") && condition(m) && statement(m);
            });
            return optional(k, [&](nodes& e) { return lit(L"else") && statement(e); });
        });
    }
    // while_stmt: drop(kw_while) >> condition >> statement
    bool while_stmt(nodes& out)
    {
        return node(rule::while_stmt, out, [&](nodes& k) { return lit(L"while") && condition(k) && statement(k); });
    }
    // condition: drop(*ws >> lparen) >> expression >> drop(*ws >> rparen)
    bool condition(nodes& out)
    {
        return node(rule::condition, out, [&](nodes& k) {
            spaces();
            if (!ch(L'(') || !expression(k)) return false;
            spaces();
            return ch(L')');
        });
    }
    // declaration: type_name >> (drop(+ws) >> declarator | ref_declarator) >>
    //              *(drop(comma) >> (declarator | ref_declarator)) >> drop(semicolon)
    bool declaration(nodes& out)
    {
        return node(rule::declaration, out, [&](nodes& k) {
            if (!type_name(k)) return false;
            if (!alt(k, [&](nodes& a) { return some_spaces() && declarator(a); },
                     [&](nodes& a) { return ref_declarator(a); }))
                return false;
            many(k, [&](nodes& m) {
                return ch(L',') &&
                       alt(m, [&](nodes& a) { return declarator(a); }, [&](nodes& a) { return ref_declarator(a); });
            });
            return ch(L';');
        });
    }
    // ctor_args: call_args;  initializer: drop(op_assign) >> expression
    bool ctor_args_or_initializer(nodes& k)
    {
        return alt(k, [&](nodes& a) { return node(rule::ctor_args, a, [&](nodes& c) { return call_args(c); }); },
                   [&](nodes& a) {
                       return node(rule::initializer, a, [&](nodes& i) { return ch(L'=') && expression(i); });
                   });
    }
    // declarator: drop(*ws) >> identifier >> drop(*ws) >> !(ctor_args | initializer) >> drop(*ws)
    bool declarator(nodes& out)
    {
        return node(rule::declarator, out, [&](nodes& k) {
            spaces();
            if (!identifier(k)) return false;
            spaces();
            optional(k, [&](nodes& a) { return ctor_args_or_initializer(a); });
            spaces();
            return true;
        });
    }
    // ref_declarator: drop(*ws >> ampersand >> *ws) >> identifier >> drop(*ws) >> (ctor_args | initializer) >>
    //                 drop(*ws)
    bool ref_declarator(nodes& out)
    {
        return node(rule::ref_declarator, out, [&](nodes& k) {
            spaces();
            if (!ch(L'&')) return false;
            spaces();
            if (!identifier(k)) return false;
            spaces();
            if (!ctor_args_or_initializer(k)) return false;
            spaces();
            return true;
        });
    }
    // inline_stmt: drop(kw_inline >> +ws) >> identifier >> !call_args >> drop(semicolon)
    bool inline_stmt(nodes& out)
    {
        return node(rule::inline_stmt, out, [&](nodes& k) {
            return lit(L"inline") && some_spaces() && identifier(k) &&
                   optional(k, [&](nodes& a) { return call_args(a); }) && ch(L';');
        });
    }
    // process_stmt: drop(kw_process >> op_scope) >> identifier >> drop(+ws) >> identifier >> !call_args >>
    //               drop(semicolon)
    bool process_stmt(nodes& out)
    {
        return node(rule::process_stmt, out, [&](nodes& k) {
            return lit(L"process") && lit(L"::") && identifier(k) && some_spaces() && identifier(k) &&
                   optional(k, [&](nodes& a) { return call_args(a); }) && ch(L';');
        });
    }

    // ---- definitions ----

    // function_def: type_name >> drop(+ws) >> identifier >> param_list >> block
    bool function_def(nodes& out)
    {
        return node(rule::function_def, out, [&](nodes& k) {
            return type_name(k) && some_spaces() && identifier(k) && param_list(k) && block(k);
        });
    }
    // class_def: drop(kw_class >> +ws) >> identifier >> !base_clause >> !class_body >> drop(*ws >> semicolon)
    bool class_def(nodes& out)
    {
        return node(rule::class_def, out, [&](nodes& k) {
            if (!lit(L"class") || !some_spaces() || !identifier(k)) return false;
            optional(k, [&](nodes& a) { return base_clause(a); });
            optional(k, [&](nodes& a) { return class_body(a); });
            spaces();
            return ch(L';');
        });
    }
    // base_clause: drop(*ws >> colon >> *ws) >> identifier
    bool base_clause(nodes& out)
    {
        return node(rule::base_clause, out, [&](nodes& k) {
            spaces();
            if (!ch(L':')) return false;
            spaces();
            return identifier(k);
        });
    }
    // class_body: drop(*ws >> lbrace) >> *(drop(ws) | member_decl | member_def) >> drop(rbrace)
    bool class_body(nodes& out)
    {
        return node(rule::class_body, out, [&](nodes& k) {
            spaces();
            if (!ch(L'{')) return false;
            many(k, [&](nodes& m) {
                return alt(m, [&](nodes&) { return one(is_space); }, [&](nodes& a) { return member_decl(a); },
                           [&](nodes& a) { return member_def(a); });
            });
            return ch(L'}');
        });
    }
    // member_decl: type_name >> (member_ref_declarator | drop(+ws) >> member_declarator) >>
    //              *(drop(comma) >> (member_ref_declarator | member_declarator)) >> drop(semicolon)
    bool member_decl(nodes& out)
    {
        return node(rule::member_decl, out, [&](nodes& k) {
            if (!type_name(k)) return false;
            if (!alt(k, [&](nodes& a) { return member_ref_declarator(a); },
                     [&](nodes& a) { return some_spaces() && member_declarator(a); }))
                return false;
            many(k, [&](nodes& m) {
                return ch(L',') && alt(m, [&](nodes& a) { return member_ref_declarator(a); },
                                       [&](nodes& a) { return member_declarator(a); });
            });
            return ch(L';');
        });
    }
    // member_def: constructor_def | operator_member | function_def;  operator_member: operator_def
    bool member_def(nodes& out)
    {
        return node(rule::member_def, out, [&](nodes& k) {
            return alt(k, [&](nodes& a) { return constructor_def(a); },
                       [&](nodes& a) {
                           return node(rule::operator_member, a, [&](nodes& o) { return operator_def(o); });
                       },
                       [&](nodes& a) { return function_def(a); });
        });
    }
    // constructor_def: identifier >> param_list >> !ctor_init_list >> block
    bool constructor_def(nodes& out)
    {
        return node(rule::constructor_def, out, [&](nodes& k) {
            return identifier(k) && param_list(k) && optional(k, [&](nodes& a) { return ctor_init_list(a); }) &&
                   block(k);
        });
    }
    // ctor_init_list: drop(colon >> *ws) >> identifier >> call_args >>
    //                 *(drop(comma >> *ws) >> identifier >> call_args)
    bool ctor_init_list(nodes& out)
    {
        return node(rule::ctor_init_list, out, [&](nodes& k) {
            if (!ch(L':')) return false;
            spaces();
            if (!identifier(k) || !call_args(k)) return false;
            many(k, [&](nodes& m) { return ch(L',') && (spaces(), true) && identifier(m) && call_args(m); });
            return true;
        });
    }
    // operator_def: drop(kw_operator >> +ws) >> builtin_type >> drop(empty_parens) >> block
    // empty_parens: *ws >> lparen >> *ws >> rparen >> *ws
    bool operator_def(nodes& out)
    {
        return node(rule::operator_def, out, [&](nodes& k) {
            if (!lit(L"operator") || !some_spaces() || !builtin_type(k)) return false;
            spaces();
            if (!ch(L'(')) return false;
            spaces();
            if (!ch(L')')) return false;
            spaces();
            return block(k);
        });
    }
    // member_ref_declarator: drop(*ws >> ampersand >> *ws) >> identifier >> drop(*ws)
    bool member_ref_declarator(nodes& out)
    {
        return node(rule::member_ref_declarator, out, [&](nodes& k) {
            spaces();
            if (!ch(L'&')) return false;
            spaces();
            if (!identifier(k)) return false;
            spaces();
            return true;
        });
    }
    // member_declarator: drop(*ws) >> identifier >> drop(*ws)
    bool member_declarator(nodes& out)
    {
        return node(rule::member_declarator, out, [&](nodes& k) {
            spaces();
            if (!identifier(k)) return false;
            spaces();
            return true;
        });
    }
    // process_def: drop(kw_process >> +ws) >> identifier >> param_list >> block
    bool process_def(nodes& out)
    {
        return node(rule::process_def, out, [&](nodes& k) {
            return lit(L"process") && some_spaces() && identifier(k) && param_list(k) && block(k);
        });
    }
    // inline_def: drop(kw_inline >> +ws) >> identifier >> param_list >> block
    bool inline_def(nodes& out)
    {
        return node(rule::inline_def, out, [&](nodes& k) {
            return lit(L"inline") && some_spaces() && identifier(k) && param_list(k) && block(k);
        });
    }
    // include_def: drop(kw_include >> *ws) >> include_path
    bool include_def(nodes& out)
    {
        return node(rule::include_def, out, [&](nodes& k) { return lit(L"#include") && (spaces(), true) && include_path(k); });
    }
};

} // namespace

parse_info parse_program(const std::wstring& stripped, const offset_map* map)
{
    const std::size_t n = std::min(stripped.find(L'\0'), stripped.size());
    const wchar_t* const begin = stripped.c_str();
    const wchar_t* const end = begin + n;
    parser parse(begin, end, map);
    tree_builder top;
    parse.program(top);
    parse_info info;
    info.match = true;  // `program` is a repetition: it matches, if only the empty text
    info.length = static_cast<std::size_t>(parse.p - begin);
    info.tree = top.finish();
    info.full = parse.p == end;
    info.stop.assign(parse.p, end);
    const wchar_t* const stopped = std::max(parse.furthest, parse.p);
    const auto stripped_at = static_cast<std::size_t>(stopped - begin);
    info.furthest = map ? map->original(stripped_at) : stripped_at;
    if (!info.full) info.hint = parse_hint(std::wstring(begin, end), stripped_at);
    return info;
}

} // namespace vorla::detail::semantic
