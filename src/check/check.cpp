// The checker: walks the parse trees with the scopes and types a compiled program has, and reports the
// language's traps (undefined names, calls nothing takes, text lost to a number, ...) before anything runs.
#include "check/check.hpp"

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "exception.hpp"
#include "factor/hash_.hpp"
#include "factor/method_table.hpp"
#include "factor/process_.hpp"
#include "factor/real.hpp"
#include "factor/signed_.hpp"
#include "factor/string_.hpp"
#include "factor/timer.hpp"
#include "factor/unsigned_.hpp"
#include "factor/vector_.hpp"
#include "factor/list_.hpp"
#include "semantic/core.hpp"

namespace vorla::check {

using detail::semantic::leaf_text;
using detail::semantic::pnode;
using detail::semantic::rule;

namespace {

// What the checker knows of a value's type when compiling. `unknown` is never wrong: checks that need a
// type skip it.
enum class kind { unknown, nil, bool_, int_, uint_, float_, double_, string_, ref, typeid_, vector, list, hash,
                  timer, bad_cast, range_error, process, instance };

struct stype {
    stype(kind k = kind::unknown, std::wstring cls = {}) : k(k), cls(std::move(cls)) {}
    kind k;
    std::wstring cls;  // the class of an instance
    bool operator==(const stype&) const = default;
};

bool numeric(kind k) { return k == kind::int_ || k == kind::uint_ || k == kind::float_ || k == kind::double_; }
bool real_kind(kind k) { return k == kind::float_ || k == kind::double_; }
bool integral(kind k) { return k == kind::int_ || k == kind::uint_; }

std::string type_text(const stype& t)
{
    switch (t.k) {
    case kind::unknown: return "?";
    case kind::nil: return "nil";
    case kind::bool_: return "bool";
    case kind::int_: return "int";
    case kind::uint_: return "unsigned int";
    case kind::float_: return "float";
    case kind::double_: return "double";
    case kind::string_: return "string";
    case kind::ref: return "ref";
    case kind::typeid_: return "typeid";
    case kind::vector: return "vector";
    case kind::list: return "list";
    case kind::hash: return "hash";
    case kind::timer: return "timer";
    case kind::bad_cast: return "bad_cast";
    case kind::range_error: return "range_error";
    case kind::process: return "process";
    case kind::instance: return narrow(t.cls);
    }
    return "?";
}

// The built-in type a name stands for in a cast or a declaration (`int(x)`), or unknown.
std::optional<kind> builtin_named(const std::wstring& n)
{
    static const std::unordered_map<std::wstring, kind> names = {
        {L"bool", kind::bool_},       {L"int", kind::int_},        {L"float", kind::float_},
        {L"double", kind::double_},   {L"string", kind::string_},  {L"nil", kind::nil},
        {L"ref", kind::ref},          {L"typeid", kind::typeid_},  {L"vector", kind::vector},
        {L"list", kind::list},        {L"hash", kind::hash},       {L"timer", kind::timer},
        {L"bad_cast", kind::bad_cast}, {L"range_error", kind::range_error}};
    const auto it = names.find(n);
    if (it == names.end()) return std::nullopt;
    return it->second;
}

// The methods a built-in type answers, from the value classes' own tables; null for a type whose calls
// the checker leaves alone (a ref forwards, an instance has script methods).
const method_signatures* builtin_methods(kind k)
{
    static const method_signatures string_m = string_<wchar_t>::methods(), int_m = signed_<int>::methods(),
                                   uint_m = unsigned_<unsigned int>::methods(), float_m = real<float>::methods(),
                                   double_m = real<double>::methods(), vector_m = vector_::methods(),
                                   list_m = list_::methods(), hash_m = hash_::methods(), timer_m = timer::methods(),
                                   process_m = process_<process>::methods();
    switch (k) {
    case kind::string_: return &string_m;
    case kind::int_: return &int_m;
    case kind::uint_: return &uint_m;
    case kind::float_: return &float_m;
    case kind::double_: return &double_m;
    case kind::vector: return &vector_m;
    case kind::list: return &list_m;
    case kind::hash: return &hash_m;
    case kind::timer: return &timer_m;
    case kind::process: return &process_m;
    default: return nullptr;
    }
}

// The result type of the built-in methods whose result the checks need; unknown for the rest.
stype builtin_result(kind receiver, const std::string& method)
{
    if (method == "size") return {kind::uint_};
    if (method == "empty" || method == "exist" || method == "match") return {kind::bool_};
    if (receiver == kind::string_ && method == "at") return {kind::string_};
    if (numeric(receiver) && (method == "abs" || method == "max" || method == "min")) return {receiver};
    return {};
}

struct param {
    stype type;
    bool reference = false;
};

struct signature {
    std::wstring name;
    std::vector<param> params;
    stype result;
    std::optional<pnode> node = std::nullopt;  // the definition
    std::uint32_t file = 0;
};

struct class_info {
    std::wstring base;
    std::map<std::wstring, stype> members;
    std::vector<signature> methods;
    std::vector<signature> constructors;
};

std::string signature_text(const signature& s)
{
    std::string out = narrow(s.name) + "(";
    for (std::size_t i = 0; i < s.params.size(); ++i) {
        if (i) out += ", ";
        out += type_text(s.params[i].type);
        if (s.params[i].reference) out += "&";
    }
    return out + ")";
}

// What an expression gives, as far as the checker can tell.
struct info {
    stype t;
    bool has_real = false;        // a float or double operand takes part
    bool lost_real = false;       // ... and an integral left operand drops its fraction
    bool word_text = false;       // a string literal that does not start like a number
    std::optional<pnode> node = std::nullopt;  // where it starts
};

class checker {
public:
    explicit checker(const program& p) : program_(p)
    {
        for (const native_signature& n : p.natives) natives_.emplace(n.name, n.counts);
        for (const source_tree& f : p.files) collect(f);
    }

    std::vector<finding> run()
    {
        for (const source_tree& f : program_.files) {
            file_ = f.file;
            for (const pnode& d : f.tree->children) definition(d);
        }
        // A file without main is a library for others to include: what it defines is for them to use.
        if (processes_.count(L"main")) unused();
        else if (!program_.files.empty())
            add(severity::error, {program_.files.front().file, 0}, "no process main is defined, so the script has nothing to run",
                "add `process main() { ... }` (or main(string word) for each word after the script's name)");
        return std::move(findings_);
    }

private:
    // --- definitions --------------------------------------------------------------------------------

    stype type_of(const pnode& n) const
    {
        const pnode& c = n.id == rule::type_name ? n.children.at(0) : n;
        switch (c.id) {
        case rule::builtin_type:
        case rule::container_type: {
            if (c.children.empty()) return {};
            if (c.children[0].id == rule::kw_unsigned_int) return {kind::uint_};
            if (const auto k = builtin_named(leaf_text(c))) return {*k};
            return {};
        }
        case rule::identifier: {
            const std::wstring& name = leaf_text(c);
            if (classes_.count(name)) return {kind::instance, name};
            return {};
        }
        default: return {};
        }
    }

    std::vector<param> params_of(const pnode& list) const
    {
        std::vector<param> out;
        for (const pnode& p : list.children) {
            if (p.id != rule::param) continue;
            const bool reference = p.children.size() >= 3 && p.children[1].id == rule::ampersand;
            out.push_back({type_of(p.children.at(0)), reference});
        }
        return out;
    }

    // First pass: every definition of every file, so a body may call what is defined after it.
    void collect(const source_tree& f)
    {
        // Class names first: a parameter or member may name a class defined further down.
        for (const pnode& d : f.tree->children)
            if (d.id == rule::class_def) classes_[leaf_text(d.children.at(0))];
        for (const pnode& d : f.tree->children) {
            switch (d.id) {
            case rule::function_def: functions_[leaf_text(d.children.at(1))].push_back(function_of(d, f.file)); break;
            case rule::process_def:
                processes_[leaf_text(d.children.at(0))].push_back(
                    {leaf_text(d.children.at(0)), params_of(d.children.at(1)), {kind::nil}, d, f.file});
                break;
            case rule::inline_def:
                inlines_[leaf_text(d.children.at(0))].push_back(
                    {leaf_text(d.children.at(0)), params_of(d.children.at(1)), {kind::nil}, d, f.file});
                break;
            case rule::declaration: {
                const stype t = type_of(d.children.at(0));
                for (std::size_t i = 1; i < d.children.size(); ++i)
                    if (!d.children[i].leaf) globals_[leaf_text(d.children[i].children.at(0))] = t;
                break;
            }
            case rule::class_def: collect_class(d, f.file); break;
            default: break;
            }
        }
    }

    signature function_of(const pnode& d, std::uint32_t file) const
    {
        return {leaf_text(d.children.at(1)), params_of(d.children.at(2)), type_of(d.children.at(0)), d, file};
    }

    void collect_class(const pnode& d, std::uint32_t file)
    {
        class_info& c = classes_[leaf_text(d.children.at(0))];
        for (std::size_t i = 1; i < d.children.size(); ++i) {
            if (d.children[i].id == rule::base_clause) c.base = leaf_text(d.children[i]);
            if (d.children[i].id != rule::class_body) continue;
            for (const pnode& m : d.children[i].children) {
                if (m.id == rule::member_decl) {
                    const stype t = type_of(m.children.at(0));
                    for (std::size_t j = 1; j < m.children.size(); ++j) c.members[leaf_text(m.children[j])] = t;
                } else if (m.id == rule::member_def) {
                    const pnode& def = m.children.at(0);
                    if (def.id == rule::function_def) c.methods.push_back(function_of(def, file));
                    if (def.id == rule::constructor_def)
                        c.constructors.push_back({leaf_text(def.children.at(0)), params_of(def.children.at(1)), {}, def, file});
                }
            }
        }
    }

    // The class and its bases, nearest first; a cycle or an unknown base ends the chain.
    std::vector<const class_info*> chain(const std::wstring& name) const
    {
        std::vector<const class_info*> out;
        std::wstring at = name;
        while (!at.empty() && out.size() < 64) {
            const auto it = classes_.find(at);
            if (it == classes_.end()) break;
            out.push_back(&it->second);
            at = it->second.base;
        }
        return out;
    }

    // --- bodies ---------------------------------------------------------------------------------------

    struct body {
        stype result;          // a function's return type; nil for processes and inlines
        bool process = false;  // return in a process body
        std::wstring owner;    // the class of a method, constructor or conversion
    };

    void definition(const pnode& d)
    {
        switch (d.id) {
        case rule::function_def: function_body(d, {}); break;
        case rule::process_def: run_body(d.children.at(1), d.children.at(2), {{kind::nil}, true, {}}); break;
        case rule::inline_def: run_body(d.children.at(1), d.children.at(2), {{kind::nil}, false, {}}); break;
        case rule::class_def: class_bodies(d); break;
        case rule::declaration:
            // A global's initializer: calls made there count as uses.
            scopes_.assign(1, {});
            owner_.clear();
            body_ = {};
            declaration(d);
            break;
        default: break;
        }
    }

    void function_body(const pnode& d, const std::wstring& owner)
    {
        const stype result = type_of(d.children.at(0));
        const pnode& block = d.children.at(3);
        run_body(d.children.at(2), block, {result, false, owner});
        if (result.k != kind::nil && can_finish(block)) {
            const signature s = function_of(d, file_);
            add(severity::warning, at(d.children.at(1)),
                (owner.empty() ? "function " : "method ") + signature_text(s) + " can reach its end without a return, and then gives nil, not " +
                    type_text(result),
                "end every path with `return` and a value");
        }
    }

    void class_bodies(const pnode& d)
    {
        const std::wstring name = leaf_text(d.children.at(0));
        for (const pnode& c : d.children) {
            if (c.id != rule::class_body) continue;
            for (const pnode& m : c.children) {
                if (m.id != rule::member_def) continue;
                const pnode& def = m.children.at(0);
                switch (def.id) {
                case rule::function_def: function_body(def, name); break;
                case rule::constructor_def: {
                    const std::size_t block_at = def.children.at(2).id == rule::ctor_init_list ? 3 : 2;
                    scopes_.clear();
                    owner_ = name;
                    scopes_.emplace_back();
                    declare_params(def.children.at(1));
                    if (block_at == 3) {
                        const pnode& list = def.children[2];
                        for (std::size_t i = 1; i < list.children.size(); i += 2) arguments(list.children[i]);
                    }
                    body_ = {{kind::nil}, false, name};
                    statement(def.children.at(block_at));
                    break;
                }
                case rule::operator_member: {
                    const pnode& op = def.children.at(0);
                    run_body(pnode{}, op.children.at(1), {type_of(op.children.at(0)), false, name});
                    break;
                }
                default: break;
                }
            }
        }
    }

    void run_body(const pnode& params, const pnode& block, const body& b)
    {
        scopes_.clear();
        scopes_.emplace_back();
        owner_ = b.owner;
        body_ = b;
        declare_params(params);
        statement(block);
    }

    void declare_params(const pnode& list)
    {
        for (const pnode& p : list.children) {
            if (p.id != rule::param) continue;
            const bool reference = p.children.size() >= 3 && p.children[1].id == rule::ampersand;
            declare(leaf_text(p.children.at(reference ? 2 : 1)), type_of(p.children.at(0)));
        }
    }

    void declare(const std::wstring& name, const stype& t) { scopes_.back()[name] = t; }

    // A name's type when some scope, member or global defines it.
    std::optional<stype> lookup(const std::wstring& name) const
    {
        for (auto s = scopes_.rbegin(); s != scopes_.rend(); ++s)
            if (const auto it = s->find(name); it != s->end()) return it->second;
        if (!owner_.empty())
            for (const class_info* c : chain(owner_))
                if (const auto it = c->members.find(name); it != c->members.end()) return it->second;
        if (const auto it = globals_.find(name); it != globals_.end()) return it->second;
        return std::nullopt;
    }

    // --- statements -----------------------------------------------------------------------------------

    void statement(const pnode& n)
    {
        const pnode& c = n.id == rule::statement ? n.children.at(0) : n;
        switch (c.id) {
        case rule::block:
            scopes_.emplace_back();
            for (const pnode& s : c.children)
                if (s.id == rule::statement) statement(s);
            scopes_.pop_back();
            break;
        case rule::selection_stmt: {
            // A while, an if, or an else-if chain: conditions and branches side by side in source order.
            for (const pnode& part : c.children.at(0).children) {
                if (part.id == rule::condition) expression(part.children.at(0));
                else scoped(part);
            }
            break;
        }
        case rule::jump_stmt: jump(c); break;
        case rule::try_stmt:
            scoped(c.children.at(0));
            for (std::size_t i = 1; i + 1 < c.children.size(); i += 2) {
                scopes_.emplace_back();
                declare_params(c.children[i]);
                statement(c.children[i + 1]);
                scopes_.pop_back();
            }
            break;
        case rule::simple_stmt: simple(c.children.at(0)); break;
        default: break;
        }
    }

    // A branch or loop body runs in a scope of its own.
    void scoped(const pnode& n)
    {
        scopes_.emplace_back();
        statement(n);
        scopes_.pop_back();
    }

    void jump(const pnode& c)
    {
        const rule kw = c.children.at(0).id;
        if (kw != rule::kw_return && kw != rule::kw_throw) return;
        const info v = expression(c.children.at(1));
        if (kw != rule::kw_return) return;
        if (body_.process) {
            add(severity::error, at(c), "a process body cannot return a value", "end the process by letting its body finish");
            return;
        }
        if (integral(body_.result.k) && (real_kind(v.t.k) || v.lost_real))
            add(severity::warning, at(c.children.at(1)),
                "the fraction is lost: this " + std::string(real_kind(v.t.k) ? type_text(v.t) + " is returned as " : "value is made integral by an integer on the left, and returned as ") +
                    type_text(body_.result),
                real_kind(v.t.k) ? "declare the function " + type_text(v.t) + ", or write " + type_text(body_.result) + "(...) to say the cut is meant"
                                 : "put the double first, or convert the integer: double(x) * y");
    }

    void simple(const pnode& c)
    {
        switch (c.id) {
        case rule::inline_stmt: {
            const std::wstring& name = leaf_text(c.children.at(0));
            std::vector<info> a = c.children.size() > 1 ? arguments(c.children[1]) : std::vector<info>{};
            call(inlines_, name, a, at(c.children.at(0)), "inline function");
            used_.insert(L"inline " + name);
            break;
        }
        case rule::process_stmt: {
            const std::wstring& name = leaf_text(c.children.at(0));
            std::vector<info> a = c.children.size() > 2 ? arguments(c.children[2]) : std::vector<info>{};
            call(processes_, name, a, at(c.children.at(0)), "process");
            used_.insert(L"process " + name);
            declare(leaf_text(c.children.at(1)), {kind::process});
            break;
        }
        case rule::declaration: declaration(c); break;
        case rule::expression: {
            // `return;` and `return(x);` parse as a variable and a call named return.
            expression(c);
            break;
        }
        default: break;
        }
    }

    void declaration(const pnode& d)
    {
        const stype t = type_of(d.children.at(0));
        for (std::size_t i = 1; i < d.children.size(); ++i) {
            const pnode& decl = d.children[i];
            if (decl.leaf) continue;
            const std::wstring& name = leaf_text(decl.children.at(0));
            if (decl.children.size() > 1) {
                const pnode& init = decl.children[1];
                if (init.id == rule::initializer) {
                    const info v = expression(init.children.at(0));
                    stored(t, v, init.children.at(0));
                } else {
                    const pnode& args = init.id == rule::ctor_args ? init.children.at(0) : init;
                    std::vector<info> a = arguments(args);
                    if (a.size() == 1) stored(t, a[0], *a[0].node);
                    if (t.k == kind::instance && decl.id == rule::declarator) construct(t.cls, a, at(decl.children.at(0)));
                }
            } else if (t.k == kind::instance) {
                construct(t.cls, {}, at(decl.children.at(0)));
            }
            declare(name, t);
        }
    }

    // A value stored into a variable of type t: a float or double made integral on the way is a trap.
    void stored(const stype& t, const info& v, const pnode& where)
    {
        if (real_kind(t.k) && integral(v.t.k) && v.lost_real)
            add(severity::warning, at(where),
                "the fraction is lost: the integer on the left makes this " + type_text(v.t) + " before it is stored in a " + type_text(t),
                "put a double first (1.0 + x) or convert the integer: double(n) + x");
    }

    // --- expressions ----------------------------------------------------------------------------------

    std::vector<info> arguments(const pnode& list)
    {
        std::vector<info> out;
        for (const pnode& c : list.children)
            if (!c.leaf) out.push_back(expression(c));
        return out;
    }

    info expression(const pnode& n)
    {
        info r;
        switch (n.id) {
        case rule::expression:
        case rule::condition: return expression(n.children.at(0));
        case rule::assign_expr: r = assignment(n); break;
        case rule::or_expr:
        case rule::and_expr: r = logical(n); break;
        case rule::equality_expr:
        case rule::relational_expr:
            r = binary(n);
            if (n.children.size() > 1) r = {{kind::bool_}, r.has_real};
            break;
        case rule::additive_expr:
        case rule::multiplicative_expr: r = binary(n); break;
        case rule::unary_expr: r = unary(n); break;
        case rule::postfix_expr: r = postfix(n); break;
        case rule::primary_expr: r = primary(n); break;
        default: break;
        }
        r.node = n;  // the outermost level: a hint quotes the whole expression
        return r;
    }

    info assignment(const pnode& n)
    {
        const auto& c = n.children;
        info r = expression(c.back());
        for (std::size_t pair = (c.size() - 1) / 2; pair-- > 0;) {
            const info l = expression(c.at(2 * pair));
            const pnode& op = c.at(2 * pair + 1);
            const rule o = op.children.empty() ? op.id : op.children[0].id;
            if (o == rule::op_assign) stored(l.t, r, c.back());
            if (o == rule::op_add_assign && numeric(l.t.k) && r.word_text) text_lost(op, l.t, "+=");
            r = {l.t, l.has_real || r.has_real, l.lost_real};
        }
        return r;
    }

    void text_lost(const pnode& op, const stype& left, const std::string& operator_text)
    {
        add(severity::warning, at(op),
            "the text is lost: with " + type_text(left) + " on the left, " + operator_text + " converts the text to a number (0 when it does not start with one)",
            operator_text == "+=" ? "a number cannot hold text: declare a string for it"
                                  : "write the text on its own (using::write(n); using::write(\"\\n\");), or start from text: \"\" + n + \"\\n\"");
    }

    info binary(const pnode& n)
    {
        const auto& c = n.children;
        info r = expression(c.front());
        bool reported = false;  // the first text lost is the mistake; the rest of the chain follows from it
        for (std::size_t i = 1; i + 1 < c.size(); i += 2) {
            const info x = expression(c[i + 1]);
            const rule o = c[i].children.empty() ? c[i].id : c[i].children[0].id;
            if (o == rule::op_plus && numeric(r.t.k) && x.word_text && !reported) {
                text_lost(c[i], r.t, "+");
                reported = true;
            }
            const bool real_operand = x.has_real || real_kind(x.t.k);
            r.lost_real = r.lost_real || x.lost_real || (integral(r.t.k) && real_operand);
            r.has_real = r.has_real || real_operand;
            r.word_text = false;
            if (r.t.k == kind::unknown || r.t.k == kind::instance) r.t = {};
        }
        return r;
    }

    // Both sides of && and || are always evaluated: a right side that indexes, calls a method on, or
    // divides by what the left side tests runs even when that test fails.
    info logical(const pnode& n)
    {
        if (n.children.size() == 1) return expression(n.children[0]);
        std::set<std::wstring> tested;
        const std::string op = n.id == rule::and_expr ? " && " : " || ";
        std::string left;
        for (const pnode& operand : n.children) {
            if (operand.leaf) continue;
            if (!tested.empty())
                if (const std::optional<pnode> risky = guarded_use(operand, tested))
                    add(severity::warning, at(*risky),
                        "both sides of" + op + "are evaluated: this runs even when the test on the left " +
                            (n.id == rule::and_expr ? "fails" : "succeeds"),
                        "nest the tests: if (" + (n.id == rule::and_expr ? left : "!(" + left + ")") + ") { if (" +
                            unparse(operand) + ") ... }");
            left += (left.empty() ? "" : op) + unparse(operand);
            names_in(operand, tested);
            expression(operand);
        }
        return {{kind::bool_}};
    }

    static void names_in(const pnode& n, std::set<std::wstring>& out)
    {
        if (n.id == rule::primary_expr && !n.children.empty() && n.children[0].id == rule::identifier_word &&
            n.children.size() == 1)
            out.insert(leaf_text(n.children[0]));
        for (const pnode& c : n.children) names_in(c, out);
    }

    // The first `x.at(...)` / `x.method(...)` on a tested name, `at(tested)`, or a division by a tested
    // name, under n.
    static std::optional<pnode> guarded_use(const pnode& n, const std::set<std::wstring>& tested)
    {
        if (n.id == rule::postfix_expr && n.children.size() > 2) {
            std::set<std::wstring> receiver;
            names_in(n.children[0], receiver);
            for (std::size_t i = 1; i < n.children.size(); ++i) {
                if (n.children[i].id != rule::identifier || i + 1 >= n.children.size() || n.children[i + 1].id != rule::call_args)
                    continue;
                std::set<std::wstring> args;
                names_in(n.children[i + 1], args);
                const bool indexes = leaf_text(n.children[i]) == L"at" || leaf_text(n.children[i]) == L"front" ||
                                     leaf_text(n.children[i]) == L"back";
                if (!indexes) continue;
                for (const std::wstring& t : tested)
                    if (receiver.count(t) || args.count(t)) return n.children[i];
            }
        }
        if (n.id == rule::multiplicative_expr)
            for (std::size_t i = 1; i + 1 < n.children.size(); i += 2) {
                const rule o = n.children[i].children.empty() ? n.children[i].id : n.children[i].children[0].id;
                if (o != rule::op_div && o != rule::op_mod) continue;
                std::set<std::wstring> divisor;
                names_in(n.children[i + 1], divisor);
                for (const std::wstring& t : tested)
                    if (divisor.count(t)) return n.children[i];
            }
        for (const pnode& c : n.children)
            if (std::optional<pnode> p = guarded_use(c, tested)) return p;
        return std::nullopt;
    }

    info unary(const pnode& n)
    {
        info r = expression(n.children.back());
        for (std::size_t i = 0; i + 1 < n.children.size(); ++i) {
            if (n.children[i].id == rule::op_not) r = {{kind::bool_}, r.has_real};
            r.word_text = false;
        }
        return r;
    }

    info postfix(const pnode& n)
    {
        const auto& c = n.children;
        info r = expression(c.front());
        for (std::size_t i = 1; i < c.size(); ++i) {
            const std::wstring& name = leaf_text(c[i]);
            const bool called = i + 1 < c.size() && c[i + 1].id == rule::call_args;
            std::vector<info> a;
            if (called) a = arguments(c[i + 1]);
            r = {member(r.t, name, called, a, c[i])};
            if (called) ++i;
        }
        return r;
    }

    stype member(const stype& t, const std::wstring& name, bool called, const std::vector<info>& a, const pnode& where)
    {
        const std::string text = narrow(name);
        if (t.k == kind::instance) {
            const auto classes = chain(t.cls);
            if (classes.empty()) return {};
            if (!called) {
                for (const class_info* c : classes)
                    if (const auto it = c->members.find(name); it != c->members.end()) return it->second;
                add(severity::error, at(where), "class " + type_text(t) + " has no member '" + text + "'", {});
                return {};
            }
            std::vector<signature> methods;
            for (const class_info* c : classes)
                for (const signature& s : c->methods)
                    if (s.name == name) methods.push_back(s);
            if (methods.empty()) {
                add(severity::error, at(where), "class " + type_text(t) + " has no method '" + text + "'", {});
                return {};
            }
            return matched(methods, a, at(where), "method " + type_text(t) + "::");
        }
        const method_signatures* table = builtin_methods(t.k);
        if (!table) return {};
        if (!called) {
            const bool is_method = std::any_of(table->begin(), table->end(), [&](const auto& m) { return m.name == text; });
            add(severity::error, at(where), type_text(t) + " has no member '" + text + "'",
                is_method ? "call the method with parentheses: " + text + "()" : std::string());
            return {};
        }
        std::vector<std::size_t> counts;
        for (const method_signature& m : *table)
            if (m.name == text) counts.push_back(m.argc);
        if (counts.empty()) {
            add(severity::error, at(where), type_text(t) + " has no method '" + text + "'", "docs/library.md lists the methods of " + type_text(t));
            return {};
        }
        if (std::find(counts.begin(), counts.end(), a.size()) == counts.end()) {
            std::string takes;
            for (std::size_t k : counts) takes += (takes.empty() ? "" : " or ") + std::to_string(k);
            add(severity::error, at(where),
                type_text(t) + "." + text + " takes " + takes + " argument" + (counts.size() == 1 && counts[0] == 1 ? "" : "s") +
                    ", not " + std::to_string(a.size()),
                {});
            return {};
        }
        return builtin_result(t.k, text);
    }

    info primary(const pnode& n)
    {
        const pnode& first = n.children.at(0);
        switch (first.id) {
        case rule::kw_true:
        case rule::kw_false: return {{kind::bool_}};
        case rule::using_call: {
            const std::wstring& name = leaf_text(first.children.at(0));
            const std::size_t given = first.children.size() > 1 ? arguments(first.children[1]).size() : 0;
            const auto native = natives_.find(name);
            if (native == natives_.end()) {
                std::string known;
                std::vector<std::wstring> sorted;
                for (const auto& entry : natives_) sorted.push_back(entry.first);
                std::sort(sorted.begin(), sorted.end());
                for (const std::wstring& k : sorted) known += (known.empty() ? "" : ", ") + narrow(k);
                add(severity::error, at(first.children.at(0)), "no native named '" + narrow(name) + "'", "the natives are " + known);
                return {};
            }
            if (const auto& counts = native->second; counts && (given < counts->first || given > counts->second)) {
                const std::string takes = std::to_string(counts->first) +
                                          (counts->second == counts->first ? "" : " to " + std::to_string(counts->second));
                add(severity::error, at(first.children.at(0)),
                    "using::" + narrow(name) + " takes " + takes + " argument" + (counts->second == 1 ? "" : "s") + ", not " +
                        std::to_string(given),
                    {});
                return {};
            }
            if (name == L"debug") return {{kind::string_}};
            return {};
        }
        case rule::numeric_literal: {
            const bool suffix = first.children.size() > 1;
            if (first.children.at(0).id == rule::real_literal)
                return {{suffix ? kind::float_ : kind::double_}, true};
            return {{suffix ? kind::uint_ : kind::int_}};
        }
        case rule::string_literal: {
            // A number reads text the way a stream does: leading blanks, a sign, then digits or a point.
            const std::wstring& text = leaf_text(first);
            std::size_t i = text.find_first_not_of(L" \t");
            if (i != std::wstring::npos && (text[i] == L'-' || text[i] == L'+')) ++i;
            const bool number_like = i < text.size() && (iswdigit_l(static_cast<std::wint_t>(text[i]), ctype_locale()) || text[i] == L'.');
            return {{kind::string_}, false, false, !number_like};
        }
        case rule::identifier_word: return name(n);
        case rule::expression: return expression(first);
        default: return {};
        }
    }

    info name(const pnode& n)
    {
        const pnode& word = n.children.at(0);
        const std::wstring& text = leaf_text(word);
        if (n.children.size() < 2) {
            if (const auto t = lookup(text)) return {*t};
            if (text == L"return")
                add(severity::error, at(word), "`return;` is read as a variable named 'return'",
                    "`return` needs a value after a space, as in `return 0;`; a function body that simply ends returns nil");
            else
                add(severity::error, at(word), "no variable, parameter, member or global named '" + narrow(text) + "' is defined here", {});
            return {};
        }
        std::vector<info> a = arguments(n.children[1]);
        if (const auto k = builtin_named(text)) return {{*k}, a.size() == 1 && a[0].has_real};
        if (classes_.count(text)) {
            construct(text, a, at(word));
            return {{kind::instance, text}};
        }
        if (text == L"return") {
            add(severity::error, at(word), "`return(x);` is read as a call of a function named 'return'",
                "`return` and its value must be separated by a space: write `return (x);`");
            return {};
        }
        used_.insert(L"function " + text);
        if (!owner_.empty()) {
            std::vector<signature> methods;
            for (const class_info* c : chain(owner_))
                for (const signature& s : c->methods)
                    if (s.name == text) methods.push_back(s);
            if (!methods.empty()) return {matched(methods, a, at(word), "method ")};
        }
        const auto it = functions_.find(text);
        if (it == functions_.end()) {
            add(severity::error, at(word), "no function named '" + narrow(text) + "' is defined", {});
            return {};
        }
        return {matched(it->second, a, at(word), "function ")};
    }

    void construct(const std::wstring& cls, const std::vector<info>& a, script_pos where)
    {
        const auto it = classes_.find(cls);
        if (it == classes_.end()) return;
        // A class without constructors, or a copy, is left to the run.
        if (it->second.constructors.empty() || (a.size() == 1 && a[0].t == stype{kind::instance, cls})) return;
        matched(it->second.constructors, a, where, "constructor ");
    }

    using overloads = std::unordered_map<std::wstring, std::vector<signature>>;

    void call(const overloads& table, const std::wstring& name, const std::vector<info>& a, script_pos where, const std::string& what)
    {
        const auto it = table.find(name);
        if (it == table.end()) {
            add(severity::error, where, "no " + what + " named '" + narrow(name) + "' is defined", {});
            return;
        }
        matched(it->second, a, where, what + " ");
    }

    // The overload that takes these arguments by exact type. Unknown argument types match anything, so
    // only a call that can never succeed is an error; one that a conversion would mend says which.
    stype matched(const std::vector<signature>& candidates, const std::vector<info>& a, script_pos where, const std::string& what)
    {
        std::vector<const signature*> fits;
        for (const signature& s : candidates) {
            if (s.params.size() != a.size()) continue;
            bool ok = true;
            for (std::size_t i = 0; i < a.size() && ok; ++i)
                ok = a[i].t.k == kind::unknown || s.params[i].type.k == kind::unknown || a[i].t == s.params[i].type;
            if (ok) fits.push_back(&s);
        }
        if (!fits.empty()) return fits.size() == 1 ? fits[0]->result : stype{};

        std::string argument_types;
        for (std::size_t i = 0; i < a.size(); ++i) argument_types += (i ? ", " : "") + type_text(a[i].t);
        std::string list;
        for (const signature& s : candidates) list += (list.empty() ? "" : ", ") + signature_text(s);
        const std::string name = narrow(candidates.front().name);

        // A numeric argument where the one overload of that length wants another numeric type: the
        // conversion to write.
        for (const signature& s : candidates) {
            if (s.params.size() != a.size()) continue;
            std::string mended;
            bool only_numbers = true;
            for (std::size_t i = 0; i < a.size() && only_numbers; ++i) {
                if (a[i].t == s.params[i].type || a[i].t.k == kind::unknown) continue;
                only_numbers = numeric(a[i].t.k) && numeric(s.params[i].type.k) && !s.params[i].reference;
                if (only_numbers && mended.empty())
                    mended = type_text(s.params[i].type) + "(" + unparse(*a[i].node) + ")";
            }
            if (only_numbers && !mended.empty()) {
                add(severity::warning, where,
                    "no " + what + name + "(" + argument_types + ") is defined, and calls convert nothing: " + signature_text(s) +
                        " would take these arguments after a conversion",
                    "write the conversion: " + mended);
                return s.result;
            }
        }
        add(severity::error, where, "no " + what + name + " takes (" + argument_types + ")",
            (candidates.size() == 1 ? "the one defined is " : "those defined are ") + list);
        return {};
    }

    // The source text of an expression, for a hint; whitespace the parser dropped is not restored.
    static std::string unparse(const pnode& n)
    {
        if (n.leaf) return narrow(n.id == rule::string_literal ? L"\"" + n.text_string() + L"\"" : n.text_string());
        std::string out;
        for (std::size_t i = 0; i < n.children.size(); ++i) {
            const pnode& c = n.children[i];
            if (n.id == rule::postfix_expr && i > 0 && c.id == rule::identifier) out += ".";
            if (c.id == rule::call_args) {
                out += "(";
                bool first = true;
                for (const pnode& arg : c.children)
                    if (!arg.leaf) {
                        out += (first ? "" : ", ") + unparse(arg);
                        first = false;
                    }
                out += ")";
                continue;
            }
            if (n.id == rule::primary_expr && c.id == rule::expression) {
                out += "(" + unparse(c) + ")";
                continue;
            }
            const bool spaced = c.id == rule::relational_op || c.id == rule::assign_op ||
                                (c.leaf && (c.id == rule::op_plus || c.id == rule::op_mul || c.id == rule::op_div ||
                                            c.id == rule::op_mod || c.id == rule::op_eq || c.id == rule::op_ne ||
                                            (c.id == rule::op_minus && n.id == rule::additive_expr)));
            out += spaced ? " " + unparse(c) + " " : unparse(c);
        }
        return out;
    }

    // --- flow -----------------------------------------------------------------------------------------

    // Whether control can run off the end of a statement (not through return, throw or a loop that never ends).
    static bool can_finish(const pnode& n)
    {
        const pnode& c = n.id == rule::statement ? n.children.at(0) : n;
        switch (c.id) {
        case rule::block:
            for (const pnode& s : c.children)
                if (s.id == rule::statement && !can_finish(s)) return false;
            return true;
        case rule::jump_stmt: {
            const rule kw = c.children.at(0).id;
            return kw != rule::kw_return && kw != rule::kw_throw;
        }
        case rule::selection_stmt: {
            const pnode& s = c.children.at(0);
            if (s.id == rule::if_stmt) {
                // Conditions and branches in pairs, then the last else-branch when the count is odd: with
                // no last else, the statement can end without taking a branch.
                if (s.children.size() % 2 == 0) return true;
                for (const pnode& part : s.children)
                    if (part.id != rule::condition && can_finish(part)) return true;
                return false;
            }
            // while: only a loop whose test is a literal truth ends nowhere but in a break.
            return !always_true(s.children.at(0)) || breaks_out(s.children.at(1));
        }
        case rule::try_stmt:
            for (std::size_t i = 0; i < c.children.size(); ++i)
                if (c.children[i].id == rule::block && can_finish(c.children[i])) return true;
            return false;
        default: return true;
        }
    }

    static bool always_true(const pnode& condition)
    {
        pnode p = condition;
        while (!p.leaf && p.children.size() == 1) p = p.children[0];
        if (p.id == rule::kw_true) return true;
        return p.id == rule::decimal_literal && p.text != L"0";
    }

    // A break that leaves this loop body (not one of a loop inside it).
    static bool breaks_out(const pnode& n)
    {
        if (n.id == rule::while_stmt) return false;
        if (n.id == rule::jump_stmt) return n.children.at(0).id == rule::kw_break;
        for (const pnode& c : n.children)
            if (breaks_out(c)) return true;
        return false;
    }

    // --- never used -----------------------------------------------------------------------------------

    // Only for the checked file's own definitions: an included file is a library, which defines more than any
    // one program uses.
    void unused()
    {
        const std::uint32_t checked = program_.files.front().file;
        for (const auto& [name, list] : functions_)
            if (!used_.count(L"function " + name))
                for (const signature& s : list)
                    if (s.file == checked)
                        add(severity::warning, at_node(s.file, s.node->children.at(1)),
                           "function " + signature_text(s) + " is never called", "remove it, or call it");
        for (const auto& [name, list] : processes_)
            if (name != L"main" && !used_.count(L"process " + name))
                for (const signature& s : list)
                    if (s.file == checked)
                        add(severity::warning, at_node(s.file, s.node->children.at(0)),
                           "process " + signature_text(s) + " is never started", "start it with process::" + narrow(name) + " p(...);");
    }

    // --- findings -------------------------------------------------------------------------------------

    script_pos at(const pnode& n) const { return {file_, n.offset}; }
    static script_pos at_node(std::uint32_t file, const pnode& n) { return {file, n.offset}; }

    void add(severity level, script_pos where, std::string message, std::string hint)
    {
        findings_.push_back({level, where, std::move(message), std::move(hint)});
    }

    const program& program_;
    std::unordered_map<std::wstring, std::optional<std::pair<std::size_t, std::size_t>>> natives_;
    overloads functions_, processes_, inlines_;
    std::unordered_map<std::wstring, class_info> classes_;
    std::unordered_map<std::wstring, stype> globals_;
    std::unordered_set<std::wstring> used_;

    std::uint32_t file_ = 0;
    std::vector<std::unordered_map<std::wstring, stype>> scopes_;
    std::wstring owner_;
    body body_;
    std::vector<finding> findings_;
};

} // namespace

std::vector<finding> check_program(const program& p)
{
    std::vector<finding> out = checker(p).run();
    std::stable_sort(out.begin(), out.end(), [](const finding& a, const finding& b) {
        return a.at.file != b.at.file ? a.at.file < b.at.file : a.at.offset < b.at.offset;
    });
    return out;
}

std::string format_finding(const source_files& files, const finding& f)
{
    std::string out = files.where(f.at) + ": " + (f.level == severity::error ? "error: " : "warning: ") + f.message + '\n';
    out += files.source_line(f.at) + '\n';
    out += files.caret_line(f.at) + '\n';
    if (!f.hint.empty()) out += "hint: " + f.hint + '\n';
    return out;
}

} // namespace vorla::check
