// The container values: the vector and list (one sequence implementation) and the hash, with their methods.
#include <algorithm>
#include <cmath>
#include <iterator>
#include <memory>
#include <utility>

#include "factor/boolean.hpp"
#include "factor/hash_.hpp"
#include "factor/list_.hpp"
#include "factor/method_table.hpp"
#include "factor/nil.hpp"
#include "factor/string_.hpp"
#include "factor/unsigned_.hpp"
#include "factor/vector_.hpp"

namespace vorla {

namespace {

value make_nil() { return make<nil>(); }
value make_size(std::size_t n) { return make<unsigned_<unsigned int>>(static_cast<unsigned int>(n)); }
unsigned int index_of(const value& v) { return static_cast<unsigned int>(*v); }
std::string index_text(const char* tag, unsigned int i, std::size_t size)
{
    return std::string(tag) + " index " + std::to_string(i) + " is out of range (size " + std::to_string(size) + ")";
}

// The kinds of value a sort orders: numbers by value, strings by code point.
enum class order_kind { none, numbers, strings };

order_kind kind_of(const value& v)
{
    switch (v->type_id()) {
    case tid::signed_:
    case tid::unsigned_:
    case tid::float_:
    case tid::double_: return order_kind::numbers;
    case tid::string_: return order_kind::strings;
    default: return order_kind::none;
    }
}

// Numbers compare as doubles, which hold every int and unsigned int exactly; a NaN sorts after every
// other number, so the order stays strict and weak.
bool number_before(const value& a, const value& b)
{
    const auto x = static_cast<double>(*a), y = static_cast<double>(*b);
    if (std::isnan(y)) return !std::isnan(x);
    return x < y;
}

// Code points are below 2^31, so the wide texts' own order is the order of code point values.
bool text_before(const value& a, const value& b)
{
    return static_cast<const string_<wchar_t>&>(*a).text() < static_cast<const string_<wchar_t>&>(*b).text();
}

using before_fn = bool (*)(const value&, const value&);

// The order that sorts the values [first, last), seen through `key`: by number when all are numbers, by
// text when all are strings. Null otherwise, with `unordered` at the first value of another kind (or
// left null when numbers and strings are mixed).
template <class It, class Key>
before_fn sort_order(It first, It last, Key key, const value*& unordered)
{
    order_kind kind = order_kind::none;
    for (; first != last; ++first) {
        const value& e = key(*first);
        const order_kind k = kind_of(e);
        if (k == order_kind::none) {
            unordered = &e;
            return nullptr;
        }
        if (kind != order_kind::none && k != kind) return nullptr;
        kind = k;
    }
    return kind == order_kind::strings ? text_before : number_before;
}

} // namespace

// ---- vector and list ------------------------------------------------------------------------------------

namespace detail {

template <class Self, class Elements>
sequence<Self, Elements>* sequence<Self, Elements>::same_type(const value& v)
{
    if (v->type_id() != Self::id) return nullptr;
    return dynamic_cast<sequence*>(v.get());
}

template <class Self, class Elements>
Elements sequence<Self, Elements>::deep_copy(const Elements& from, std::size_t& budget, unsigned depth) const
{
    take_from(budget, from.size() + container_weight);
    Elements out;
    if constexpr (indexed) out.reserve(from.size());
    for (const value& e : from) out.push_back(e->clone_counted(budget, depth));
    return out;
}

template <class Self, class Elements>
value sequence<Self, Elements>::holding(Elements items)
{
    auto made = make<Self>();
    static_cast<sequence&>(*made).items_ = std::move(items);
    return made;
}

template <class Self, class Elements>
void sequence<Self, Elements>::resize(unsigned int n, const value& fill, const char* op)
{
    if (n > size_limit)
        refuse(op, "container size limit exceeded, size=" + detail::format_number(n) +
                       " limit=" + detail::format_number(size_limit));
    while (items_.size() > n) items_.pop_back();
    if (items_.size() == n) return;
    // The fill value is what the argument is now: `v.resize(n, v)` fills with copies of v as it was,
    // not of v growing. Every new position gets a value of its own, the last one the snapshot itself.
    value snapshot = fill ? fill->clone() : make_nil();
    if constexpr (indexed) items_.reserve(n);
    while (items_.size() + 1 < n) items_.push_back(snapshot->clone());
    items_.push_back(std::move(snapshot));
}

template <class Self, class Elements>
sequence<Self, Elements>::~sequence()
{
    // The elements themselves go with items_; what only they hold is released here, by the loop.
    release_list work;
    for (value& e : items_)
        if (e.use_count() == 1) e->give_up_children(work);
    release_all(work);
}

template <class Self, class Elements>
void sequence<Self, Elements>::give_up_children(release_list& out)
{
    for (value& e : items_) out.push_back(std::move(e));
    items_.clear();
}

template <class Self, class Elements>
void sequence<Self, Elements>::visit_children(child_visitor& visit) const
{
    for (const value& e : items_)
        if (e) visit(*e);  // a slot a sort has moved out of for a moment is empty
}

template <class Self, class Elements>
void sequence<Self, Elements>::call_constructor(const args& v)
{
    if (v.size() != 2) refuse("call_constructor", arglist_text(v));
    resize(index_of(v[0]), v[1], "call_constructor");
}

template <class Self, class Elements>
void sequence<Self, Elements>::call_constructor(const value& v)
{
    if (const sequence* other = same_type(v)) {
        items_ = deep_copy(other->items_);
        return;
    }
    resize(index_of(v), nullptr, "call_constructor");
}

template <class Self, class Elements>
void sequence<Self, Elements>::operator=(const value& r)
{
    const sequence* other = same_type(r);
    if (!other) refuse("operator =", r);
    items_ = deep_copy(other->items_);  // copied before the old elements go, so `a = a` keeps them
}

template <class Self, class Elements>
value sequence<Self, Elements>::clone() const
{
    std::size_t budget = copy_limit;
    return clone_counted(budget, 0);
}

template <class Self, class Elements>
value sequence<Self, Elements>::clone_counted(std::size_t& budget, unsigned depth) const
{
    const nesting level(*this, "clone", depth);
    auto c = make<Self>();
    static_cast<sequence&>(*c).items_ = deep_copy(items_, budget, depth + 1);
    return c;
}

template <class Self, class Elements>
void sequence<Self, Elements>::hash_at(std::uint32_t& seed, unsigned depth) const
{
    const nesting level(*this, "hash", depth);
    if constexpr (Self::hashes_id) hash_combine(seed, Self::id);
    for (const value& e : items_) e->hash_at(seed, depth + 1);
}

template <class Self, class Elements>
bool sequence<Self, Elements>::equal_at(const value& other, unsigned depth) const
{
    const sequence* o = same_type(other);
    if (!o || o->items_.size() != items_.size()) return false;
    const nesting level(*this, "equal", depth);
    auto b = o->items_.begin();
    for (auto a = items_.begin(); a != items_.end(); ++a, ++b)
        if (!(*a)->equal_at(*b, depth + 1)) return false;
    return true;
}

template <class Self, class Elements>
std::string sequence<Self, Elements>::describe_at(unsigned depth) const
{
    const nesting level(*this, "describe", depth);
    std::string out = std::string(Self::tag) + "[";
    bool first = true;
    for (const value& e : items_) {
        if (!first) out += ", ";
        first = false;
        out += e->describe_at(depth + 1);
        check_length(out.size(), "describe");
    }
    return out + "]";
}

template <class Self, class Elements>
const method_table& sequence<Self, Elements>::method_rows()
{
    using m = method_name;
    static constexpr method_table table = [] {
        if constexpr (indexed)
            return method_table({
                {m::size, 0},
                {m::empty, 0},
                {m::pop_back, 0},
                {m::clear, 0},
                {m::back, 0},
                {m::front, 0},
                {m::at, 1},
                {m::push_back, 1},
                {m::swap, 1},
                {m::resize, 1},
                {m::replace, 2},
                {m::resize, 2},
                {m::sort, 0},
                {m::sort_by, 1},
                {m::reverse, 0},
                {m::insert, 2},
                {m::erase, 1},
                {m::index_of, 1},
                {m::slice, 2},
                {m::join, 1},
            });
        else
            return method_table({
                {m::empty, 0},
                {m::size, 0},
                {m::front, 0},
                {m::back, 0},
                {m::pop_front, 0},
                {m::pop_back, 0},
                {m::clear, 0},
                {m::resize, 1},
                {m::push_front, 1},
                {m::push_back, 1},
                {m::swap, 1},
                {m::resize, 2},
                {m::sort, 0},
                {m::sort_by, 1},
                {m::reverse, 0},
            });
    }();
    return table;
}

template <class Self, class Elements>
method_signatures sequence<Self, Elements>::methods()
{
    return method_rows().signatures();
}

template <class Self, class Elements>
template <class Name>
value sequence<Self, Elements>::dispatch(const method_call<Name>& c)
{
    // Only the lookup is guarded: errors inside a method body propagate as they are.
    const method_name m = method_rows().find(c);
    if (m == method_name::sort_by) return m_sort_by(c.v, c.out, c.ctx);
    if (value out = answer(m, c.v)) return out;
    refuse("_method", method_call_text(c));
}

template <class Self, class Elements>
value sequence<Self, Elements>::builtin_method(method_name m, arg_span v)
{
    return method_rows().has(m, v.size()) ? answer(m, v) : value();
}

template <class Self, class Elements>
[[gnu::always_inline]] inline value sequence<Self, Elements>::answer(method_name m, arg_span v)
{
    // The table holds at and replace for the vector only, push_front and pop_front for the list only.
    switch (m) {
    case method_name::size: return m_size(v);
    case method_name::empty: return m_empty(v);
    case method_name::clear: return m_clear(v);
    case method_name::front: return m_front(v);
    case method_name::back: return m_back(v);
    case method_name::pop_back: return m_pop_back(v);
    case method_name::push_back: return m_push_back(v);
    case method_name::pop_front: return m_pop_front(v);
    case method_name::push_front: return m_push_front(v);
    case method_name::swap: return m_swap(v);
    case method_name::resize: return v.size() == 1 ? m_resize(v) : m_resize_fill(v);
    case method_name::at: return m_at(v);
    case method_name::replace: return m_replace(v);
    case method_name::sort: return m_sort(v);
    // sort_by needs the call's signal slot, which only the method slot has: the caller takes that.
    case method_name::sort_by: break;
    case method_name::reverse: return m_reverse(v);
    case method_name::insert: return m_insert(v);
    case method_name::erase: return m_erase(v);
    case method_name::index_of: return m_index_of(v);
    case method_name::slice: return m_slice(v);
    case method_name::join: return m_join(v);
    default: break;
    }
    return value();
}

template <class Self, class Elements>
value sequence<Self, Elements>::method(const method_call<wchar_t>& c)
{
    return dispatch(c);
}
template <class Self, class Elements>
value sequence<Self, Elements>::method(const method_call<char>& c)
{
    return dispatch(c);
}

template <class Self, class Elements>
value sequence<Self, Elements>::m_size(arg_span)
{
    return make_size(items_.size());
}

template <class Self, class Elements>
value sequence<Self, Elements>::m_empty(arg_span)
{
    return make_boolean(items_.empty());
}

template <class Self, class Elements>
value sequence<Self, Elements>::m_clear(arg_span)
{
    items_.clear();
    return make_nil();
}

template <class Self, class Elements>
value sequence<Self, Elements>::m_front(arg_span)
{
    if (items_.empty()) Self::out_of_range(std::string("the ") + Self::tag + " is empty");
    return items_.front();
}

template <class Self, class Elements>
value sequence<Self, Elements>::m_back(arg_span)
{
    if (items_.empty()) Self::out_of_range(std::string("the ") + Self::tag + " is empty");
    return items_.back();
}

template <class Self, class Elements>
value sequence<Self, Elements>::m_pop_back(arg_span)
{
    if (items_.empty()) Self::out_of_range(std::string("the ") + Self::tag + " is empty");
    value last = std::move(items_.back());
    items_.pop_back();
    return last;
}

template <class Self, class Elements>
value sequence<Self, Elements>::m_push_back(arg_span v)
{
    items_.push_back(stored_copy(v[0]));
    return items_.back();
}

template <class Self, class Elements>
value sequence<Self, Elements>::m_swap(arg_span v)
{
    // The argument changes in place: every holder of its handle sees the exchanged elements.
    sequence* other = same_type(v[0]);
    if (!other) refuse("_method", call_text("swap", v));
    items_.swap(other->items_);
    return make_nil();
}

template <class Self, class Elements>
value sequence<Self, Elements>::m_resize(arg_span v)
{
    resize(index_of(v[0]), nullptr, "_method");
    return make_nil();
}

template <class Self, class Elements>
value sequence<Self, Elements>::m_resize_fill(arg_span v)
{
    resize(index_of(v[0]), v[1], "_method");
    return make_nil();
}

template <class Self, class Elements>
value sequence<Self, Elements>::m_at(arg_span v)
{
    const unsigned int i = index_of(v[0]);
    if (i >= items_.size()) Self::out_of_range(index_text(Self::tag, i, items_.size()));
    return *std::next(items_.begin(), i);
}

template <class Self, class Elements>
value sequence<Self, Elements>::m_replace(arg_span v)
{
    const unsigned int i = index_of(v[0]);
    if (i >= items_.size()) Self::out_of_range(index_text(Self::tag, i, items_.size()));
    value fresh = stored_copy(v[1]);
    return std::exchange(*std::next(items_.begin(), i), std::move(fresh));
}

template <class Self, class Elements>
value sequence<Self, Elements>::m_push_front(arg_span v)
{
    return *items_.insert(items_.begin(), stored_copy(v[0]));
}

template <class Self, class Elements>
value sequence<Self, Elements>::m_pop_front(arg_span)
{
    if (items_.empty()) Self::out_of_range(std::string("the ") + Self::tag + " is empty");
    value first = std::move(items_.front());
    items_.erase(items_.begin());
    return first;
}

template <class Self, class Elements>
value sequence<Self, Elements>::m_sort(arg_span v)
{
    const value* unordered = nullptr;
    const before_fn before = sort_order(items_.begin(), items_.end(), [](const value& e) -> const value& { return e; }, unordered);
    if (!before)
        refuse("_method", call_text("sort", v),
               std::string("cannot sort a ") + Self::tag + " holding " +
                   (unordered ? type_word(**unordered) : std::string("both numbers and strings")));
    if constexpr (indexed) std::stable_sort(items_.begin(), items_.end(), before);
    else items_.sort(before);
    return make_nil();
}

template <class Self, class Elements>
value sequence<Self, Elements>::m_sort_by(arg_span v, script_signal* out, context* ctx)
{
    const std::wstring& name = text_argument(method_name::sort_by, v, 0);
    const method_name builtin = method_name_of(std::wstring_view(name));
    const std::string call = "cannot sort a " + std::string(Self::tag) + " by " + narrow(name) + "(): ";
    // The key methods are script code and may change this very sequence: the elements wait here while
    // they run, and a sequence that changed meanwhile is refused rather than overwritten.
    std::vector<value> held(items_.begin(), items_.end());
    std::vector<std::pair<value, std::size_t>> keyed;  // each key with its element's place in `held`
    keyed.reserve(held.size());
    const args none;
    for (const value& e : held) {
        value key;
        try {
            key = e->method(method_call<wchar_t>{none, name, nullptr, out, builtin, nullptr, ctx});
        } catch (exception& error) {
            // As at any call: a built-in value's refusal says no more than that the method is missing.
            script_trace& t = error.script();
            if (t.message.empty() && t.frames.empty())
                t.message = call + "element " + std::to_string(keyed.size()) + " is " + type_word(*e) +
                            ", which has no method " + narrow(name) + "()";
            throw;
        }
        if (!key) return key;  // the key method threw; its signal waits in out
        keyed.emplace_back(std::move(key), keyed.size());
    }
    if (!std::equal(items_.begin(), items_.end(), held.begin(), held.end(),
                    [](const value& a, const value& b) { return a.get() == b.get(); }))
        refuse("_method", call_text("sort_by", v), call + "the " + Self::tag + " changed while its keys were made");
    const value* unordered = nullptr;
    const before_fn before = sort_order(
        keyed.begin(), keyed.end(), [](const std::pair<value, std::size_t>& k) -> const value& { return k.first; }, unordered);
    if (!before)
        refuse("_method", call_text("sort_by", v),
               call + (unordered ? "a key is " + type_word(**unordered) + ", not a number or a string"
                                 : std::string("the keys are both numbers and strings")));
    std::stable_sort(keyed.begin(), keyed.end(), [before](const auto& a, const auto& b) { return before(a.first, b.first); });
    auto slot = items_.begin();
    for (const auto& k : keyed) *slot++ = std::move(held[k.second]);
    return make_nil();
}

template <class Self, class Elements>
value sequence<Self, Elements>::m_reverse(arg_span)
{
    if constexpr (indexed) std::reverse(items_.begin(), items_.end());
    else items_.reverse();
    return make_nil();
}

template <class Self, class Elements>
std::size_t sequence<Self, Elements>::element_index(method_name m, arg_span v, std::size_t most) const
{
    return index_argument(m, v, 0, most, Self::tag + std::string(" index"), "size", items_.size());
}

template <class Self, class Elements>
value sequence<Self, Elements>::m_insert(arg_span v)
{
    const std::size_t i = element_index(method_name::insert, v, items_.size());
    return *items_.insert(std::next(items_.begin(), static_cast<std::ptrdiff_t>(i)), stored_copy(v[1]));
}

template <class Self, class Elements>
value sequence<Self, Elements>::m_erase(arg_span v)
{
    if (items_.empty()) Self::out_of_range(std::string("the ") + Self::tag + " is empty");
    const auto at = std::next(items_.begin(), static_cast<std::ptrdiff_t>(element_index(method_name::erase, v, items_.size() - 1)));
    value gone = std::move(*at);
    items_.erase(at);
    return gone;
}

template <class Self, class Elements>
value sequence<Self, Elements>::m_index_of(arg_span v)
{
    // By the values' own equality, as hash keys compare: the int 1 is not the unsigned int 1.
    std::size_t i = 0;
    for (const value& e : items_) {
        if (e->equal(v[0])) break;
        ++i;
    }
    return make_size(i);
}

template <class Self, class Elements>
value sequence<Self, Elements>::m_slice(arg_span v)
{
    const std::size_t from =
        index_argument(method_name::slice, v, 0, items_.size(), Self::tag + std::string(" index"), "size", items_.size());
    const long long count = whole_argument(method_name::slice, v, 1);
    if (count < 0) range_refusal("count " + std::to_string(count) + " is negative");
    const std::size_t n = std::min(static_cast<std::size_t>(count), items_.size() - from);
    const auto first = std::next(items_.begin(), static_cast<std::ptrdiff_t>(from));
    Elements out;
    if constexpr (indexed) out.reserve(n);
    for (auto it = first; it != std::next(first, static_cast<std::ptrdiff_t>(n)); ++it) out.push_back((*it)->clone());
    return holding(std::move(out));
}

template <class Self, class Elements>
value sequence<Self, Elements>::m_join(arg_span v)
{
    const std::wstring& sep = text_argument(method_name::join, v, 0);
    // Measured before anything is joined, so a join past the string limit makes nothing.
    std::size_t length = 0;
    for (const value& e : items_) {
        if (e->type_id() != tid::string_)
            refuse("_method", call_text("join", v),
                   std::string("join takes a ") + Self::tag + " of strings, not one holding " + type_word(*e));
        length += static_cast<const string_<wchar_t>&>(*e).text().size() + sep.size();
        check_length(length - sep.size(), "_method");
    }
    std::wstring out;
    out.reserve(length);
    bool first = true;
    for (const value& e : items_) {
        if (!first) out += sep;
        first = false;
        out += static_cast<const string_<wchar_t>&>(*e).text();
    }
    return make<string_<wchar_t>>(std::move(out));
}

template class sequence<vector_, vector_elements>;
template class sequence<list_, std::list<value>>;

} // namespace detail

// ---- hash -------------------------------------------------------------------------------------------------

std::uint32_t hash_::hash_of(const value& k)
{
    std::uint32_t seed = 0;
    k->hash(seed);
    return seed;
}

hash_::stored_key::stored_key(value k) : key_(std::move(k)), hash_(hash_of(key_))
{
    if (key_->type_id() != tid::string_) return;
    const std::wstring& t = static_cast<const string_<wchar_t>&>(*key_).text();
    const std::size_t n = t.size();
    if (n > short_text) return;
    for (std::size_t i = 0; i < n; ++i) {
        const auto c = static_cast<std::uint32_t>(t[i]);
        if (c > 0xFF) return;  // no copy: the key's own equal decides
        text_[i] = static_cast<unsigned char>(c);
    }
    length_ = static_cast<std::uint8_t>(n);
}

bool hash_::stored_key::matches(const value& probe) const
{
    if (length_ == no_copy) return key_->equal(probe);
    // What string_::equal answers: the probe is a string with the same text.
    if (probe->type_id() != tid::string_) return false;
    const std::wstring& t = static_cast<const string_<wchar_t>&>(*probe).text();
    if (t.size() != length_) return false;
    const wchar_t* p = t.data();
    for (std::uint8_t i = 0; i < length_; ++i)
        if (static_cast<std::uint32_t>(p[i]) != text_[i]) return false;
    return true;
}

// 11 buckets to begin with; the map grows past a load factor of 1.0 as the library does.
hash_::hash_() : map_(11) { map_.max_load_factor(1.0f); }

hash_::map_type hash_::copy_of(const map_type& from, std::size_t& budget, unsigned depth) const
{
    take_from(budget, from.size() + container_weight);
    // A copy of the map keeps the source's buckets, so both iterate in the same order.
    map_type out(from);
    for (auto& entry : out) entry.second = entry.second->clone_counted(budget, depth);
    return out;
}

hash_* hash_::same_type(const value& v)
{
    if (v->type_id() != tid::hash_) return nullptr;
    return dynamic_cast<hash_*>(v.get());
}

hash_::~hash_() { release_children(*this); }

void hash_::give_up_children(release_list& out)
{
    for (auto& [k, v] : map_) {
        out.push_back(k);  // keys cannot be moved out of the map; clear() drops the map's handle below
        out.push_back(std::move(v));
    }
    changing().clear();
}

void hash_::visit_children(child_visitor& visit) const
{
    for (const auto& [k, v] : map_) {
        visit(*k.get());
        if (v) visit(*v);
    }
}

void hash_::call_constructor(const value& v)
{
    const hash_* other = same_type(v);
    if (!other) refuse("call_constructor", v);
    changing() = copy_of(other->map_);
}

void hash_::operator=(const value& r)
{
    const hash_* other = same_type(r);
    if (!other) refuse("operator =", r);
    // The copy is made before the old entries go, so `h = h` keeps them.
    changing() = copy_of(other->map_);
}

value hash_::clone() const
{
    std::size_t budget = copy_limit;
    return clone_counted(budget, 0);
}

value hash_::clone_counted(std::size_t& budget, unsigned depth) const
{
    const nesting level(*this, "clone", depth);
    auto c = make<hash_>();
    c->changing() = copy_of(map_, budget, depth + 1);
    return c;
}

void hash_::hash_at(std::uint32_t& seed, unsigned depth) const
{
    const nesting level(*this, "hash", depth);
    for (const auto& [k, v] : map_) {
        k->hash_at(seed, depth + 1);
        v->hash_at(seed, depth + 1);
    }
}

bool hash_::equal_at(const value& other, unsigned depth) const
{
    const hash_* o = same_type(other);
    if (!o || o->map_.size() != map_.size()) return false;
    const nesting level(*this, "equal", depth);
    auto b = o->map_.begin();
    for (auto a = map_.begin(); a != map_.end(); ++a, ++b)
        if (!a->first->equal_at(b->first, depth + 1) || !a->second->equal_at(b->second, depth + 1)) return false;
    return true;
}

std::string hash_::describe_at(unsigned depth) const
{
    const nesting level(*this, "describe", depth);
    std::string out = "hash[";
    bool first = true;
    for (const auto& [k, v] : map_) {
        if (!first) out += ", ";
        first = false;
        out += "(" + k->describe_at(depth + 1) + " , " + v->describe_at(depth + 1) + ")";
        check_length(out.size(), "describe");
    }
    return out + "]";
}

const method_table& hash_::method_rows()
{
    static constexpr method_table table({
        {method_name::size, 0},
        {method_name::empty, 0},
        {method_name::clear, 0},
        {method_name::at, 1},
        {method_name::exist, 1},
        {method_name::erase, 1},
        {method_name::swap, 1},
        {method_name::insert, 2},
        {method_name::keys, 0},
        {method_name::values, 0},
    });
    return table;
}

method_signatures hash_::methods() { return method_rows().signatures(); }

template <class Name>
value hash_::dispatch(const method_call<Name>& c)
{
    // Only the lookup is guarded: errors inside a method body propagate as they are.
    if (value out = answer(method_rows().find(c), c.v)) return out;
    refuse("_method", method_call_text(c));
}

value hash_::builtin_method(method_name m, arg_span v)
{
    return method_rows().has(m, v.size()) ? answer(m, v) : value();
}

[[gnu::always_inline]] inline value hash_::answer(method_name m, arg_span v)
{
    switch (m) {
    case method_name::size: return m_size(v);
    case method_name::empty: return m_empty(v);
    case method_name::clear: return m_clear(v);
    case method_name::at: return m_at(v);
    case method_name::exist: return m_exist(v);
    case method_name::erase: return m_erase(v);
    case method_name::swap: return m_swap(v);
    case method_name::insert: return m_insert(v);
    case method_name::keys: return m_listing(true);
    case method_name::values: return m_listing(false);
    default: break;
    }
    return value();
}

value hash_::method(const method_call<wchar_t>& c) { return dispatch(c); }
value hash_::method(const method_call<char>& c) { return dispatch(c); }

hash_::entry* hash_::search(const value& key)
{
    const auto it = map_.find(probe(key));
    if (it == map_.end()) return nullptr;
    // Entries stay where they are while the map grows, so the pointer holds until the map changes.
    last_ = &*it;
    return last_;
}

[[gnu::always_inline]] inline hash_::entry* hash_::lookup(const value& key)
{
    // The last entry is compared without hashing the key first: a short string key answers from its
    // copied text in a few instructions, and for any key an equal that fails costs no more than the
    // hashing the search would do anyway.
    if (last_ && last_->first.matches(key)) return last_;
    return search(key);
}

value hash_::m_size(arg_span) { return make_size(map_.size()); }
value hash_::m_empty(arg_span) { return make_boolean(map_.empty()); }

value hash_::m_clear(arg_span)
{
    changing().clear();
    return make_nil();
}

// A key the map cannot look up because its hash or equal refuses (a chain nested past the limit) is a
// range error, which the script's handler for range errors sees. Anything else (no memory, the
// interpreter stopping) goes on as it is.
hash_::entry* hash_::lookup_or_range_error(const value& key)
{
    try {
        return lookup(key);
    } catch (const exception& refusal) {
        if (refusal.out_of_depth()) throw;  // runaway recursion is never a script's to catch
        out_of_range(std::string("the key cannot be looked up: ") + refusal.what());
    }
}

value* hash_::find(const value& key)
{
    entry* e = lookup(key);
    return e ? &e->second : nullptr;
}

value hash_::m_at(arg_span v)
{
    // A missing key is a range error too.
    entry* found = lookup_or_range_error(v[0]);
    if (!found) out_of_range("the hash has no key " + v[0]->describe());
    return found->second;
}

value hash_::m_exist(arg_span v) { return make_boolean(lookup_or_range_error(v[0]) != nullptr); }
value hash_::m_erase(arg_span v)
{
    const auto it = map_.find(probe(v[0]));  // found by the value itself: erase would want a stored_key made
    if (it == map_.end()) return make_boolean(false);
    changing().erase(it);
    return make_boolean(true);
}

value hash_::m_swap(arg_span v)
{
    // The argument changes in place: every holder of its handle sees the exchanged entries.
    hash_* other = same_type(v[0]);
    if (!other) refuse("_method", call_text("swap", v));
    changing().swap(other->changing());
    return make_nil();
}

value hash_::m_insert(arg_span v)
{
    // Both are copied before the map is asked; when the key is present the copies are simply dropped.
    value key = stored_copy(v[0]);
    value val = stored_copy(v[1]);
    return make_boolean(changing().emplace(stored_key(std::move(key)), std::move(val)).second);
}

} // namespace vorla

namespace vorla {

value hash_::m_listing(bool keys)
{
    // Copies, in the map's own order: changing an element of the vector changes neither key nor value.
    vector_elements out;
    out.reserve(map_.size());
    for (const auto& [k, v] : map_) out.push_back(keys ? k->clone() : v->clone());
    return vector_::holding(std::move(out));
}

} // namespace vorla
