// The parse tree handed from the grammar to the compiler: rule identities, plain nodes, the parse result.
#pragma once

#include <cstddef>
#include <compare>
#include <cstdint>
#include <deque>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
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

// A node of a parse tree as the compiler reads it: a small view into the tree's storage, made on the
// way down and passed by value or const reference. Views stay valid while the ptree they came from
// (or a copy of it) lives.
//
// The storage is compact because big scripts make millions of nodes: a run of single-child nodes whose
// rules follow each other in the enumeration (expression > assign_expr > ... > primary_expr, type_name >
// identifier > identifier_word) and a rule node around a leaf of its own rule are each one record, and
// leaf texts are kept once per distinct text. The view shows every node of the run as before.
class pnode;

// One stored record: a run of nodes, each the only child of the one before, whose rules are the
// store's path number `path`, outermost first. The last node of the run is a leaf, whose text is
// texts[first], or has the children records first .. first + count - 1. Every node of the run starts
// at `offset`, since an inner node starts where its first child does.
struct pnode_record {
    std::uint16_t path = 0;
    bool leaf = false;
    std::uint32_t offset = 0;
    std::uint32_t first = 0;
    std::uint32_t count = 0;
};

// The rules along a run of single children. Few distinct runs occur (the expression levels down to a
// name or a literal, a type name down to its word), so each is kept once and records name it.
struct pnode_path {
    std::uint32_t start = 0;  // in ptree_store::path_rules
    std::uint8_t length = 0;
};

// Records are kept in fixed-size chunks: a tree of millions of nodes grows without copying what it
// has, and without the spare half a doubling vector would hold.
//
// A record is stored in 12 bytes rather than its 16: the leaf flag rides in the path number's top bit
// (paths stay below 2^15), and a child count too big for 16 bits (a block of a hundred thousand
// statements) is kept aside, under the number of the node's first child record.
class ptree_store {
public:
    static constexpr std::uint32_t max_paths = 0x7FFF;

    std::size_t size() const { return size_; }
    pnode_record operator[](std::size_t i) const
    {
        const packed& p = chunks_[i >> chunk_bits][i & chunk_mask];
        pnode_record r;
        r.path = static_cast<std::uint16_t>(p.path & max_paths);
        r.leaf = (p.path >> 15) != 0;
        r.offset = p.offset;
        r.first = p.first;
        r.count = p.count == many ? big_count(p.first) : p.count;
        return r;
    }
    void push_back(const pnode_record& r)
    {
        if ((size_ >> chunk_bits) == chunks_.size()) chunks_.push_back(std::make_unique<packed[]>(chunk_size));
        packed& p = chunks_[size_ >> chunk_bits][size_ & chunk_mask];
        p.path = static_cast<std::uint16_t>(r.path | (r.leaf ? 0x8000u : 0u));
        p.offset = r.offset;
        p.first = r.first;
        if (r.count < many) {
            p.count = static_cast<std::uint16_t>(r.count);
        } else {
            p.count = many;
            // A record rewound and placed again with the same first child replaces the old entry.
            big_counts_.insert_or_assign(r.first, r.count);
        }
        ++size_;
    }
    // Drops the records from `n` on; their chunks are kept for what comes next.
    void shrink(std::size_t n) { size_ = n; }

    std::deque<std::wstring> texts;  // a deque, so texts stay where they are as more are added
    std::vector<pnode_path> paths;   // paths[r] is the run of the one rule r, for every rule
    std::vector<std::uint8_t> path_rules;

private:
    struct packed {
        std::uint16_t path;   // bit 15: a leaf
        std::uint16_t count;  // `many`: see big_counts_
        std::uint32_t offset;
        std::uint32_t first;
    };
    static_assert(sizeof(packed) == 12);
    static constexpr std::uint16_t many = 0xFFFF;
    std::uint32_t big_count(std::uint32_t first) const { return big_counts_.at(first); }

    static constexpr std::size_t chunk_bits = 14;
    static constexpr std::size_t chunk_size = std::size_t{1} << chunk_bits;
    static constexpr std::size_t chunk_mask = chunk_size - 1;
    std::vector<std::unique_ptr<packed[]>> chunks_;
    std::size_t size_ = 0;
    std::unordered_map<std::uint32_t, std::uint32_t> big_counts_;  // by first child record
};

// Where a node's children are stored.
struct pnode_span {
    const ptree_store* store = nullptr;
    std::uint32_t first = 0;   // the first child's record, or the record the single child is a deeper part of
    std::uint32_t count = 0;
    std::uint8_t depth = 0;    // for a single child inside the same record: its depth there
    bool range = false;        // children are the records first .. first + count - 1, each at depth 0
    pnode child(std::size_t i) const;
};

// The children of a node, indexed like a vector; elements are made on access.
class pnode_children {
public:
    class iterator {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = pnode;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = pnode;

        iterator() = default;
        iterator(const pnode_span& of, std::size_t i) : of_(of), i_(i) {}
        pnode operator*() const;
        pnode operator[](difference_type n) const;
        iterator& operator++() { ++i_; return *this; }
        iterator operator++(int) { iterator t = *this; ++i_; return t; }
        iterator& operator--() { --i_; return *this; }
        iterator operator--(int) { iterator t = *this; --i_; return t; }
        iterator& operator+=(difference_type n) { i_ = static_cast<std::size_t>(static_cast<difference_type>(i_) + n); return *this; }
        iterator& operator-=(difference_type n) { return *this += -n; }
        friend iterator operator+(iterator a, difference_type n) { return a += n; }
        friend iterator operator-(iterator a, difference_type n) { return a -= n; }
        friend difference_type operator-(const iterator& a, const iterator& b)
        {
            return static_cast<difference_type>(a.i_) - static_cast<difference_type>(b.i_);
        }
        friend bool operator==(const iterator& a, const iterator& b) { return a.i_ == b.i_; }
        friend auto operator<=>(const iterator& a, const iterator& b) { return a.i_ <=> b.i_; }

    private:
        pnode_span of_;  // a copy: an iterator outlives the node it came from
        std::size_t i_ = 0;
    };
    using const_iterator = iterator;
    using reverse_iterator = std::reverse_iterator<iterator>;
    using const_reverse_iterator = reverse_iterator;
    using value_type = pnode;
    using size_type = std::size_t;

    pnode_children() = default;

    std::size_t size() const { return s_.count; }
    bool empty() const { return s_.count == 0; }
    pnode operator[](std::size_t i) const;
    // As vector::at: std::out_of_range past the end.
    pnode at(std::size_t i) const;
    pnode front() const;
    pnode back() const;
    iterator begin() const;
    iterator end() const;
    reverse_iterator rbegin() const;
    reverse_iterator rend() const;

private:
    friend class pnode;
    [[noreturn]] static void out_of_range();
    pnode_span s_;
};

class pnode {
public:
    rule id = rule::program;  // the rule that made the node; for a leaf, the rule whose right-hand side matched it
    bool leaf = false;
    // Where the node starts in the source text (before comments were stripped): for an inner node,
    // its first leaf, so whitespace the rule skipped at its head does not count.
    std::uint32_t offset = 0;
    std::wstring_view text;  // a leaf's matched text; empty for inner nodes
    pnode_children children;

    pnode() = default;
    pnode(const ptree_store* store, std::uint32_t record, std::uint8_t depth);

    // The leaf's text as a string that lives as long as the tree (empty for inner nodes).
    const std::wstring& text_string() const;

private:
    const std::wstring* pooled_ = nullptr;
};

inline pnode::pnode(const ptree_store* store, std::uint32_t record, std::uint8_t depth)
{
    const pnode_record r = (*store)[record];
    const pnode_path& path = store->paths[r.path];
    id = static_cast<rule>(store->path_rules[path.start + depth]);
    offset = r.offset;
    const bool last = depth + 1 == path.length;
    if (last && r.leaf) {
        leaf = true;
        pooled_ = &store->texts[r.first];
        text = *pooled_;
        return;
    }
    pnode_span& s = children.s_;
    s.store = store;
    if (!last) {
        s.first = record;
        s.count = 1;
        s.depth = static_cast<std::uint8_t>(depth + 1);
    } else {
        s.first = r.first;
        s.count = r.count;
        s.range = true;
    }
}

inline pnode pnode_span::child(std::size_t i) const
{
    if (range) return pnode(store, first + static_cast<std::uint32_t>(i), 0);
    return pnode(store, first, depth);
}
inline pnode pnode_children::operator[](std::size_t i) const { return s_.child(i); }
inline pnode_children::iterator pnode_children::begin() const { return {s_, 0}; }
inline pnode_children::iterator pnode_children::end() const { return {s_, s_.count}; }
inline pnode_children::reverse_iterator pnode_children::rbegin() const { return reverse_iterator(end()); }
inline pnode_children::reverse_iterator pnode_children::rend() const { return reverse_iterator(begin()); }
inline pnode pnode_children::at(std::size_t i) const
{
    if (i >= s_.count) [[unlikely]] out_of_range();
    return (*this)[i];
}
inline pnode pnode_children::front() const { return (*this)[0]; }
inline pnode pnode_children::back() const { return (*this)[s_.count - 1]; }
inline pnode pnode_children::iterator::operator*() const { return of_.child(i_); }
inline pnode pnode_children::iterator::operator[](difference_type n) const
{
    return of_.child(static_cast<std::size_t>(static_cast<difference_type>(i_) + n));
}

// A whole parse tree: the root node, holding the storage of every node under it. Copies share it.
class ptree : public pnode {
public:
    ptree() = default;
    ptree(std::shared_ptr<const ptree_store> store, std::uint32_t root);

private:
    std::shared_ptr<const ptree_store> store_;
};

// Builds a tree bottom-up the way a recursive-descent parser meets it: a rule's children are made
// first, then the rule closes over them. A failed attempt rewinds to a point taken before it, which
// drops everything made since. Both parsers of the grammar build through here, so they agree on the
// compact form by construction.
class tree_builder {
public:
    struct point {
        std::size_t open;    // nodes waiting for their parent
        std::size_t placed;  // records placed for good
    };
    tree_builder();
    point here() const { return {open_.size(), store_->size()}; }
    void rewind(point p)
    {
        if (open_.size() != p.open) open_.erase(open_.begin() + static_cast<std::ptrdiff_t>(p.open), open_.end());
        store_->shrink(p.placed);
    }
    // Whether nodes were made since `p`.
    bool made_since(point p) const { return open_.size() > p.open; }
    void leaf(rule id, std::wstring_view text, std::uint32_t offset);
    // Moves the last node made to `offset`.
    void move_last(std::uint32_t offset) { open_.back().offset = offset; }
    // The node of rule `id` over everything made since `from`: it starts at its first child, or at
    // `empty_offset` when it has none.
    void close(rule id, point from, std::uint32_t empty_offset);
    // The tree whose root is the only node left open.
    ptree finish();

private:
    std::shared_ptr<ptree_store> store_;
    std::vector<pnode_record> open_;
    std::unordered_map<std::wstring_view, std::uint32_t> text_index_;  // each text's place in the store
    std::unordered_map<std::uint32_t, std::uint16_t> longer_path_;     // (rule << 16 | path) to the path of rule over path
    std::uint32_t text_index(std::wstring_view text);
};

// The same tree built from a tree of plain nodes (as another parser produces), without recursion.
struct plain_node {
    rule id = rule::program;
    bool leaf = false;
    std::wstring text;
    std::vector<plain_node> children;
    std::uint32_t offset = 0;
};
ptree build_tree(const plain_node& root);

struct parse_info {
    bool match = false;       // `program` matched (it always does, possibly with length 0)
    bool full = false;        // the whole text up to its first NUL was consumed
    std::size_t length = 0;   // characters matched
    std::wstring stop;        // the unparsed rest, up to the first NUL
    ptree tree;               // the `program` node of what matched
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
