// The container values: the vector and list (one sequence implementation) and the hash, with their methods.
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
Elements sequence<Self, Elements>::deep_copy(const Elements& from)
{
    Elements out;
    if constexpr (indexed) out.reserve(from.size());
    for (const value& e : from) out.push_back(e->clone());
    return out;
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
    const nesting level(*this, "clone");
    auto c = make<Self>();
    static_cast<sequence&>(*c).items_ = deep_copy(items_);
    return c;
}

template <class Self, class Elements>
void sequence<Self, Elements>::hash(std::uint32_t& seed) const
{
    const nesting level(*this, "hash");
    if constexpr (Self::hashes_id) hash_combine(seed, Self::id);
    for (const value& e : items_) e->hash(seed);
}

template <class Self, class Elements>
bool sequence<Self, Elements>::equal(const value& other) const
{
    const sequence* o = same_type(other);
    if (!o || o->items_.size() != items_.size()) return false;
    const nesting level(*this, "equal");
    auto b = o->items_.begin();
    for (auto a = items_.begin(); a != items_.end(); ++a, ++b)
        if (!(*a)->equal(*b)) return false;
    return true;
}

template <class Self, class Elements>
std::string sequence<Self, Elements>::describe() const
{
    const nesting level(*this, "describe");
    std::string out = std::string(Self::tag) + "[";
    bool first = true;
    for (const value& e : items_) {
        if (!first) out += ", ";
        first = false;
        out += e->describe();
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
    if (value out = answer(method_rows().find(c), c.v)) return out;
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

hash_::map_type hash_::copy_of(const map_type& from)
{
    // A copy of the map keeps the source's buckets, so both iterate in the same order.
    map_type out(from);
    for (auto& entry : out) entry.second = entry.second->clone();
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
    const nesting level(*this, "clone");
    auto c = make<hash_>();
    c->changing() = copy_of(map_);
    return c;
}

void hash_::hash(std::uint32_t& seed) const
{
    const nesting level(*this, "hash");
    for (const auto& [k, v] : map_) {
        k->hash(seed);
        v->hash(seed);
    }
}

bool hash_::equal(const value& other) const
{
    const hash_* o = same_type(other);
    if (!o || o->map_.size() != map_.size()) return false;
    const nesting level(*this, "equal");
    auto b = o->map_.begin();
    for (auto a = map_.begin(); a != map_.end(); ++a, ++b)
        if (!a->first->equal(b->first) || !a->second->equal(b->second)) return false;
    return true;
}

std::string hash_::describe() const
{
    const nesting level(*this, "describe");
    std::string out = "hash[";
    bool first = true;
    for (const auto& [k, v] : map_) {
        if (!first) out += ", ";
        first = false;
        out += "(" + k->describe() + " , " + v->describe() + ")";
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

value hash_::m_at(arg_span v)
{
    // A missing key is a range error, and so is a key the map cannot look up because its hash or equal
    // refuses (a chain nested past the limit): the script's handler for range errors sees both. Anything
    // else (no memory, the interpreter stopping) goes on as it is.
    entry* found = nullptr;
    try {
        found = lookup(v[0]);
    } catch (const exception& refusal) {
        if (refusal.out_of_depth()) throw;  // runaway recursion is never a script's to catch
        out_of_range(std::string("the key cannot be looked up: ") + refusal.what());
    }
    if (!found) out_of_range("the hash has no key " + v[0]->describe());
    return found->second;
}

value hash_::m_exist(arg_span v) { return make_boolean(lookup(v[0]) != nullptr); }
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
