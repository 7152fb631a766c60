// The language's grammar as Spirit Classic rules: the reference form the hand-written parser is checked against.
#include "semantic/grammar.hpp"

#include <boost/spirit/include/classic_core.hpp>
#include <boost/spirit/include/classic_parse_tree.hpp>

#include <algorithm>
#include <cstdint>
#include <cwctype>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "semantic/keywords.hpp"
#include "comment_p.hpp"
#include "exception.hpp"
#include "locale.hpp"
#include "stack_guard.hpp"

namespace vorla::detail::semantic {
namespace {

namespace sp = boost::spirit::classic;
using iter_t = const wchar_t*;

// What a Spirit node is: a rule's node, a matched text, or the placeholder of an empty match
// (which must not reach the compiler's tree).
enum node_kind : unsigned char { inner_kind = 0, leaf_kind = 1, empty_kind = 2 };

// A node's kind and where its match began in the parsed text.
struct node_info {
    node_kind kind = inner_kind;
    iter_t at = nullptr;
};

struct node_factory {
    template <typename IteratorT>
    class factory {
    public:
        typedef IteratorT iterator_t;
        typedef sp::node_val_data<iterator_t, node_info> node_t;

        template <typename I1, typename I2>
        static node_t create_node(I1 const& first, I2 const& last, bool is_leaf)
        {
            node_t n = is_leaf ? node_t(first, last) : node_t();
            n.value(node_info{is_leaf ? leaf_kind : inner_kind, first});
            return n;
        }

        static node_t empty_node()
        {
            node_t n;
            n.value(node_info{empty_kind, nullptr});
            return n;
        }

        template <typename ContainerT>
        static node_t group_nodes(ContainerT const& nodes)
        {
            std::vector<wchar_t> text;
            for (auto const& n : nodes) text.insert(text.end(), n.value.begin(), n.value.end());
            node_t n(text.begin(), text.end());
            n.value(node_info{leaf_kind, nodes.empty() ? nullptr : nodes.begin()->value.value().at});
            return n;
        }
    };
};

// Spirit's own iteration, which also notes the furthest character any alternative consumed: where a
// text that does not parse went wrong. Copies of the policy (every rule call makes some) share the mark.
struct furthest_iteration : sp::iteration_policy {
    iter_t* furthest = nullptr;

    template <typename ScannerT>
    void advance(ScannerT const& scan) const
    {
        ++scan.first;
        if (furthest && scan.first > *furthest) *furthest = scan.first;
    }
};

// Parse-tree building as Spirit's own, except that concatenated subtrees are moved instead of
// deep-copied (a copy per nesting level makes deep trees quadratic).
struct tree_policy;
struct match_policy_t : sp::common_tree_match_policy<match_policy_t, iter_t, node_factory, tree_policy, sp::nil_t> {
    match_policy_t() {}
    template <typename PolicyT>
    match_policy_t(PolicyT const& policies)
        : sp::common_tree_match_policy<match_policy_t, iter_t, node_factory, tree_policy, sp::nil_t>(policies)
    {
    }
};
struct tree_policy : sp::pt_tree_policy<match_policy_t, node_factory, sp::nil_t> {
    template <typename MatchAT, typename MatchBT>
    static void concat(MatchAT& a, MatchBT const& b)
    {
        a.trees.insert(a.trees.end(), std::make_move_iterator(b.trees.begin()), std::make_move_iterator(b.trees.end()));
        b.trees.clear();
    }
};
using policies_t = sp::scanner_policies<furthest_iteration, match_policy_t, sp::action_policy>;
using scanner_t = sp::scanner<iter_t, policies_t>;
using rule_t = sp::rule<scanner_t, sp::parser_context<>, sp::dynamic_parser_tag>;
using tree_node_t = sp::tree_node<sp::node_val_data<iter_t, node_info>>;

// Character classes answer through the wide classification functions under the interpreter's locale,
// whatever C locale the host has set.
struct ws_parser : sp::char_parser<ws_parser> {
    template <typename T>
    bool test(T ch) const { return iswspace_l(static_cast<std::wint_t>(ch), ctype_locale()) != 0; }
};
struct letter_parser : sp::char_parser<letter_parser> {
    template <typename T>
    bool test(T ch) const { return iswalpha_l(static_cast<std::wint_t>(ch), ctype_locale()) != 0; }
};
struct alnum_parser : sp::char_parser<alnum_parser> {
    template <typename T>
    bool test(T ch) const { return iswalnum_l(static_cast<std::wint_t>(ch), ctype_locale()) != 0; }
};
struct digit_parser : sp::char_parser<digit_parser> {
    template <typename T>
    bool test(T ch) const { return iswdigit_l(static_cast<std::wint_t>(ch), ctype_locale()) != 0; }
};

// drop(X): matches X and leaves nothing in the tree. Spirit's no_node_d cannot wrap rules bound to
// the tree scanner, so X runs on the same scanner and its trees are thrown away.
template <typename S>
struct drop_parser : sp::unary<S, sp::parser<drop_parser<S>>> {
    typedef drop_parser<S> self_t;
    typedef sp::unary_parser_category parser_category_t;
    template <typename ScannerT>
    struct result {
        typedef typename sp::match_result<ScannerT, sp::nil_t>::type type;
    };

    explicit drop_parser(S const& s) : sp::unary<S, sp::parser<drop_parser<S>>>(s) {}

    template <typename ScannerT>
    typename sp::parser_result<self_t, ScannerT>::type parse(ScannerT const& scan) const
    {
        typedef typename sp::parser_result<self_t, ScannerT>::type result_t;
        auto hit = this->subject().parse(scan);
        if (!hit) return scan.no_match();
        return result_t(hit.length());
    }
};

// token(X): matches X and leaves exactly one leaf with all of X's text, whatever X is made of.
template <typename S>
struct token_parser : sp::unary<S, sp::parser<token_parser<S>>> {
    typedef token_parser<S> self_t;
    typedef sp::unary_parser_category parser_category_t;
    template <typename ScannerT>
    struct result {
        typedef typename sp::match_result<ScannerT, sp::nil_t>::type type;
    };

    explicit token_parser(S const& s) : sp::unary<S, sp::parser<token_parser<S>>>(s) {}

    template <typename ScannerT>
    typename sp::parser_result<self_t, ScannerT>::type parse(ScannerT const& scan) const
    {
        typename ScannerT::iterator_t from = scan.first;
        auto hit = this->subject().parse(scan);
        if (!hit) return scan.no_match();
        return scan.create_match(hit.length(), sp::nil_t(), from, scan.first);
    }
};

// Fails, without touching the text or the tree, once the stack is nearly used up: deep nesting
// ends the match there instead of overflowing.
struct guard_parser : sp::parser<guard_parser> {
    typedef guard_parser self_t;
    template <typename ScannerT>
    struct result {
        typedef typename sp::match_result<ScannerT, sp::nil_t>::type type;
    };

    template <typename ScannerT>
    typename sp::parser_result<self_t, ScannerT>::type parse(ScannerT const& scan) const
    {
        typedef typename sp::parser_result<self_t, ScannerT>::type result_t;
        if (vorla::stack_exhausted()) return scan.no_match();
        return result_t(0);
    }
};

template <typename P>
drop_parser<typename sp::as_parser<P>::type> drop(P const& p)
{
    return drop_parser<typename sp::as_parser<P>::type>(sp::as_parser<P>::convert(p));
}

template <typename P>
token_parser<typename sp::as_parser<P>::type> token(P const& p)
{
    return token_parser<typename sp::as_parser<P>::type>(sp::as_parser<P>::convert(p));
}

// The rules, indexed by their numbers. Built once; rules refer to each other by address.
class grammar {
public:
    grammar();
    grammar(const grammar&) = delete;
    grammar& operator=(const grammar&) = delete;

    const rule_t& start() const { return r_[static_cast<int>(rule::program)]; }

private:
    rule_t r_[rule_count];
};

#define R(name) r_[static_cast<int>(rule::name)]

grammar::grammar()
{
    using sp::anychar_p;
    using sp::ch_p;
    using sp::range_p;
    using sp::str_p;

    // Spirit labels a rule's bare leaves with the rule's id only where the id is still 0, so rule
    // numbers are stored one up.
    for (int i = 0; i < rule_count; ++i) r_[i].set_id(sp::parser_id(static_cast<std::size_t>(i + 1)));

    const ws_parser ws;
    const letter_parser letter;
    const alnum_parser alnum;
    const digit_parser digit;
    const guard_parser guard;
    const auto dquote = ch_p(L'"');

    // Keywords come from the one list that the editor files are checked against; `unsigned int` is the
    // only one made of two words.
    for (const keyword& k : keywords)
        if (k.id != rule::kw_unsigned_int) r_[static_cast<int>(k.id)] = str_p(k.text);
    R(kw_unsigned_int) = R(kw_unsigned) >> +ws >> R(kw_int);

    R(reserved_word) = R(builtin_type) | R(container_type) | R(kw_this) | R(kw_true) | R(kw_false) | R(kw_if) |
                       R(kw_else) | R(kw_while) | R(kw_return) | R(kw_break) | R(kw_continue) | R(kw_process) |
                       R(kw_inline) | R(kw_class) | R(kw_operator) | R(kw_using) | R(kw_try) | R(kw_catch) |
                       R(kw_throw);
    R(builtin_type) = R(kw_bool) | R(kw_int) | R(kw_unsigned_int) | R(kw_float) | R(kw_double) | R(kw_string) |
                      R(kw_nil) | R(kw_ref) | R(kw_typeid) | R(kw_bad_cast) | R(kw_range_error);
    R(container_type) = R(kw_vector) | R(kw_list) | R(kw_hash) | R(kw_timer);

    R(op_assign) = ch_p(L'=');
    R(op_add_assign) = str_p(L"+=");
    R(op_sub_assign) = str_p(L"-=");
    R(op_mul_assign) = str_p(L"*=");
    R(op_div_assign) = str_p(L"/=");
    R(op_mod_assign) = str_p(L"%=");
    R(op_or) = str_p(L"||");
    R(op_and) = str_p(L"&&");
    R(op_eq) = str_p(L"==");
    R(op_ne) = str_p(L"!=");
    R(op_gt) = ch_p(L'>');
    R(op_lt) = ch_p(L'<');
    R(op_ge) = str_p(L">=");
    R(op_le) = str_p(L"<=");
    R(op_plus) = ch_p(L'+');
    R(op_minus) = ch_p(L'-');
    R(op_mul) = ch_p(L'*');
    R(op_div) = ch_p(L'/');
    R(op_mod) = ch_p(L'%');
    R(op_incr) = str_p(L"++");
    R(op_decr) = str_p(L"--");
    R(op_not) = ch_p(L'!');
    R(op_scope) = str_p(L"::");

    R(numeric_literal) = R(real_literal) >> !R(float_suffix) | R(hex_literal) >> !R(unsigned_suffix) |
                         R(octal_literal) >> !R(unsigned_suffix) | R(decimal_literal) >> !R(unsigned_suffix);
    R(string_literal) = drop(dquote) >> token(*(ch_p(L'\\') >> anychar_p | (anychar_p - dquote))) >> drop(dquote);
    R(include_path) = drop(ch_p(L'<')) >> token(+(anychar_p - ch_p(L'<') - ch_p(L'>'))) >> drop(ch_p(L'>')) |
                      drop(dquote) >> token(+(anychar_p - dquote)) >> drop(dquote);
    R(hex_digits) = +(range_p(L'a', L'f') | range_p(L'A', L'F') | digit);
    R(hex_prefix) = ch_p(L'0') >> (ch_p(L'x') | ch_p(L'X'));
    R(exponent) = (ch_p(L'e') | ch_p(L'E')) >> (R(op_plus) | R(op_minus)) >> +digit;
    R(hex_literal) = token(R(hex_prefix) >> +R(hex_digits));
    R(octal_literal) = token(ch_p(L'0') >> +digit);
    R(decimal_literal) = token(+digit);
    R(real_literal) = token(+digit >> R(exponent) | *digit >> R(dot) >> +digit >> !R(exponent) |
                            +digit >> R(dot) >> *digit >> !R(exponent));
    R(unsigned_suffix) = ch_p(L'u') | ch_p(L'U');
    R(float_suffix) = ch_p(L'f') | ch_p(L'F');

    R(underscore) = ch_p(L'_');
    R(dot) = ch_p(L'.');
    R(lparen) = ch_p(L'(');
    R(rparen) = ch_p(L')');
    R(comma) = ch_p(L',');
    R(lbrace) = ch_p(L'{');
    R(rbrace) = ch_p(L'}');
    R(semicolon) = ch_p(L';');
    R(colon) = ch_p(L':');
    R(ampersand) = ch_p(L'&');

    R(type_name) = R(builtin_type) | R(container_type) | R(identifier);
    R(identifier) = R(identifier_word) - R(reserved_word);
    R(identifier_word) = token((letter | R(underscore)) >> *(alnum | R(underscore)));
    R(expression) = R(assign_expr);
    R(assign_expr) = R(or_expr) >> *(R(assign_op) >> R(or_expr));
    R(or_expr) = R(and_expr) >> *(drop(R(op_or)) >> R(and_expr));
    R(and_expr) = R(equality_expr) >> *(drop(R(op_and)) >> R(equality_expr));
    R(equality_expr) = R(relational_expr) >> *((R(op_eq) | R(op_ne)) >> R(relational_expr));
    R(relational_expr) = R(additive_expr) >> *(R(relational_op) >> R(additive_expr));
    R(additive_expr) = R(multiplicative_expr) >> *((R(op_plus) | R(op_minus)) >> R(multiplicative_expr));
    R(multiplicative_expr) = R(unary_expr) >> *((R(op_mul) | R(op_div) | R(op_mod)) >> R(unary_expr));
    R(unary_expr) = *(R(op_incr) | R(op_decr) | R(op_not) | R(op_minus)) >> R(postfix_expr);
    R(postfix_expr) = R(primary_expr) >> *(drop(R(dot)) >> R(identifier) >> !R(call_args));
    // Every nesting of expressions passes through here, so the stack guard stands at its head.
    R(primary_expr) = guard >> drop(*ws) >>
                      (R(kw_this) | R(kw_true) | R(kw_false) | R(using_call) | R(numeric_literal) |
                       R(string_literal) | R(identifier_word) >> !R(call_args) |
                       drop(R(lparen)) >> R(expression) >> drop(R(rparen))) >>
                      drop(*ws);
    R(assign_op) = R(op_assign) | R(op_add_assign) | R(op_sub_assign) | R(op_mul_assign) | R(op_div_assign) |
                   R(op_mod_assign);
    R(relational_op) = R(op_ge) | R(op_le) | R(op_gt) | R(op_lt);
    R(call_args) = drop(*ws >> R(lparen) >> *ws) >> !(R(expression) >> *(drop(R(comma)) >> R(expression))) >>
                   drop(R(rparen) >> *ws);
    R(using_call) = drop(R(kw_using) >> R(op_scope)) >> R(identifier) >> R(call_args);

    R(param_list) = drop(*ws >> R(lparen)) >> (R(param) >> *(drop(R(comma)) >> R(param)) | drop(*ws)) >>
                    drop(R(rparen) >> *ws);
    R(param) = drop(*ws) >> R(type_name) >> (drop(*ws) >> R(ampersand) >> drop(*ws) | drop(+ws)) >> R(identifier) >>
               drop(*ws);
    // Every nesting of statements passes through here.
    R(statement) = guard >> drop(*ws) >>
                   (R(block) | R(selection_stmt) | R(jump_stmt) | R(try_stmt) | R(simple_stmt)) >> drop(*ws);
    R(block) = drop(*ws >> R(lbrace) >> *ws) >> *R(statement) >> drop(*ws >> R(rbrace) >> *ws);
    R(selection_stmt) = R(if_stmt) | R(while_stmt);
    R(jump_stmt) = ((R(kw_return) | R(kw_throw)) >> drop(+ws) >> R(expression) |
                    (R(kw_break) | R(kw_continue)) >> drop(*ws)) >>
                   R(semicolon);
    R(simple_stmt) =
        R(inline_stmt) | R(process_stmt) | R(declaration) | R(expression) >> R(semicolon) | R(semicolon);
    R(try_stmt) = drop(R(kw_try)) >> R(block) >> +(drop(R(kw_catch)) >> R(param_list) >> R(block));
    // An else-if chain is taken link by link in a loop rather than as an if nested in each else: it is
    // flat code, and its tree is flat too (condition, statement, condition, statement, ..., else
    // statement). It accepts what `!(else >> statement)` nested accepts: a link is that statement
    // whenever it is an if, and any other else falls to the last part.
    R(if_stmt) = drop(R(kw_if)) >> R(condition) >> R(statement) >>
                 *(drop(R(kw_else) >> *ws >> R(kw_if)) >> R(condition) >> R(statement)) >>
                 !(drop(R(kw_else)) >> R(statement));
    R(while_stmt) = drop(R(kw_while)) >> R(condition) >> R(statement);
    R(condition) = drop(*ws >> R(lparen)) >> R(expression) >> drop(*ws >> R(rparen));
    R(declaration) = R(type_name) >> (drop(+ws) >> R(declarator) | R(ref_declarator)) >>
                     *(drop(R(comma)) >> (R(declarator) | R(ref_declarator))) >> drop(R(semicolon));
    R(declarator) = drop(*ws) >> R(identifier) >> drop(*ws) >> !(R(ctor_args) | R(initializer)) >> drop(*ws);
    R(ref_declarator) = drop(*ws >> R(ampersand) >> *ws) >> R(identifier) >> drop(*ws) >>
                        (R(ctor_args) | R(initializer)) >> drop(*ws);
    R(ctor_args) = R(call_args);
    R(initializer) = drop(R(op_assign)) >> R(expression);
    R(inline_stmt) = drop(R(kw_inline) >> +ws) >> R(identifier) >> !R(call_args) >> drop(R(semicolon));
    R(process_stmt) = drop(R(kw_process) >> R(op_scope)) >> R(identifier) >> drop(+ws) >> R(identifier) >>
                      !R(call_args) >> drop(R(semicolon));

    R(function_def) = R(type_name) >> drop(+ws) >> R(identifier) >> R(param_list) >> R(block);
    R(class_def) = drop(R(kw_class) >> +ws) >> R(identifier) >> !R(base_clause) >> !R(class_body) >>
                   drop(*ws >> R(semicolon));
    R(base_clause) = drop(*ws >> R(colon) >> *ws) >> R(identifier);
    R(class_body) = drop(*ws >> R(lbrace)) >> *(drop(ws) | R(member_decl) | R(member_def)) >> drop(R(rbrace));
    R(member_decl) = R(type_name) >> (R(member_ref_declarator) | drop(+ws) >> R(member_declarator)) >>
                     *(drop(R(comma)) >> (R(member_ref_declarator) | R(member_declarator))) >> drop(R(semicolon));
    R(member_def) = R(constructor_def) | R(operator_member) | R(function_def);
    R(constructor_def) = R(identifier) >> R(param_list) >> !R(ctor_init_list) >> R(block);
    R(operator_member) = R(operator_def);
    R(ctor_init_list) = drop(R(colon) >> *ws) >> R(identifier) >> R(call_args) >>
                        *(drop(R(comma) >> *ws) >> R(identifier) >> R(call_args));
    R(operator_def) = drop(R(kw_operator) >> +ws) >> R(builtin_type) >> drop(R(empty_parens)) >> R(block);
    R(empty_parens) = *ws >> R(lparen) >> *ws >> R(rparen) >> *ws;
    R(member_ref_declarator) = drop(*ws >> R(ampersand) >> *ws) >> R(identifier) >> drop(*ws);
    R(member_declarator) = drop(*ws) >> R(identifier) >> drop(*ws);
    R(program) =
        *(ws | R(include_def) | R(class_def) | R(process_def) | R(inline_def) | R(function_def) | R(declaration));
    R(process_def) = drop(R(kw_process) >> +ws) >> R(identifier) >> R(param_list) >> R(block);
    R(inline_def) = drop(R(kw_inline) >> +ws) >> R(identifier) >> R(param_list) >> R(block);
    R(include_def) = drop(R(kw_include) >> *ws) >> R(include_path);
}

#undef R

const grammar& the_grammar()
{
    static const grammar g;
    return g;
}

// The first difference between two trees, with the path of rule names that leads to it; empty if none.
std::string tree_difference(const pnode& a, const pnode& b, const std::string& path)
{
    const std::string here = path + "/" + rule_name(a.id);
    if (a.id != b.id || a.leaf != b.leaf || a.text != b.text || a.offset != b.offset ||
        a.children.size() != b.children.size())
        return here + ": " + rule_name(a.id) + (a.leaf ? " leaf '" + narrow(a.text_string()) + "'" : "") + " at " +
               std::to_string(a.offset) + " with " + std::to_string(a.children.size()) + " children against " +
               rule_name(b.id) + (b.leaf ? " leaf '" + narrow(b.text_string()) + "'" : "") + " at " +
               std::to_string(b.offset) + " with " + std::to_string(b.children.size());
    for (std::size_t i = 0; i < a.children.size(); ++i)
        if (std::string d = tree_difference(a.children[i], b.children[i], here); !d.empty()) return d;
    return {};
}

// Turns positions in the parsed (stripped) text into source offsets.
struct offsets {
    iter_t begin;
    const offset_map* map;
    std::uint32_t operator()(iter_t at) const
    {
        const auto stripped = static_cast<std::size_t>(at - begin);
        return static_cast<std::uint32_t>(map ? map->original(stripped) : stripped);
    }
};

void fill(plain_node& dst, const tree_node_t& src, const offsets& to_source)
{
    dst.id = static_cast<rule>(static_cast<int>(src.value.id().to_long()) - 1);
    dst.leaf = src.value.value().kind == leaf_kind;
    if (dst.leaf) dst.text.assign(src.value.begin(), src.value.end());
    if (src.value.value().at) dst.offset = to_source(src.value.value().at);
}

// Spirit trees are converted without recursion; their depth is whatever the parser accepted.
plain_node convert(const tree_node_t& root, const offsets& to_source)
{
    plain_node out;
    std::vector<std::pair<const tree_node_t*, plain_node*>> todo;
    std::vector<plain_node*> inner;  // in pre-order, so children come after their parents
    fill(out, root, to_source);
    todo.emplace_back(&root, &out);
    while (!todo.empty()) {
        auto [src, dst] = todo.back();
        todo.pop_back();
        if (!dst->leaf) inner.push_back(dst);
        std::size_t kept = 0;
        for (const auto& c : src->children)
            if (c.value.value().kind != empty_kind) ++kept;
        dst->children.resize(kept);
        std::size_t k = 0;
        for (const auto& c : src->children) {
            if (c.value.value().kind == empty_kind) continue;
            plain_node& child = dst->children[k++];
            fill(child, c, to_source);
            todo.emplace_back(&c, &child);
        }
        // A zero-length match leaves no trace in a Spirit tree, so the empty text of "" comes back here.
        if (dst->id == rule::string_literal && !dst->leaf && dst->children.empty())
            dst->children.push_back(plain_node{rule::string_literal, true, std::wstring(), {}, dst->offset});
    }
    // An inner node starts at its first child: whitespace its rule skipped first is not part of it.
    for (auto it = inner.rbegin(); it != inner.rend(); ++it)
        if (!(*it)->children.empty()) (*it)->offset = (*it)->children.front().offset;
    return out;
}

}  // namespace

parse_info reference_parse_program(const std::wstring& stripped, const offset_map* map)
{
    const std::size_t n = std::min(stripped.find(L'\0'), stripped.size());
    const wchar_t* const begin = stripped.c_str();
    const wchar_t* const end = begin + n;
    iter_t first = begin;
    iter_t furthest = begin;
    furthest_iteration iteration;
    iteration.furthest = &furthest;
    scanner_t scan(first, end, policies_t(iteration));
    const offsets to_source{begin, map};
    parse_info info;
    {
        auto hit = the_grammar().start().parse(scan);
        info.match = static_cast<bool>(hit);
        if (info.match) {
            info.length = hit.length();
            if (!hit.trees.empty()) info.tree = build_tree(convert(hit.trees.front(), to_source));
        }
    }
    info.full = info.match && first == end;
    info.stop.assign(first, end);
    const iter_t stopped = std::max(furthest, first);
    info.furthest = to_source(stopped);
    if (!info.full) info.hint = parse_hint(std::wstring(begin, end), static_cast<std::size_t>(stopped - begin));
    return info;
}

std::string parse_difference(const std::wstring& stripped, const offset_map* map)
{
    const parse_info want = reference_parse_program(stripped, map);
    const parse_info got = parse_program(stripped, map);
    std::ostringstream out;
    if (want.match != got.match || want.full != got.full || want.length != got.length)
        out << "match, full, length: " << want.match << ' ' << want.full << ' ' << want.length << " against "
            << got.match << ' ' << got.full << ' ' << got.length;
    else if (want.furthest != got.furthest)
        out << "error place: " << want.furthest << " against " << got.furthest;
    else if (want.hint != got.hint)
        out << "hint: '" << want.hint << "' against '" << got.hint << "'";
    else
        out << tree_difference(want.tree, got.tree, "");
    return out.str();
}

}  // namespace vorla::detail::semantic
