// A scope's variables: name to value handle, in declaration order; small scopes are searched linearly.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include <boost/container/small_vector.hpp>

#include "factor/factor.hpp"
#include "symbol.hpp"

namespace vorla::table {

// A name as a node that reads it keeps it: the symbol, its bit in a table's name mask (computed once),
// and the slot where the name was last found. A lookup along a scope chain passes every table whose
// mask lacks the bit without searching it, and tries the remembered slot first where the bit is set.
// The slot is only a hint, checked against the name before use: it can never yield a wrong variable.
struct name_key {
    explicit name_key(symbol name) noexcept : name(name), shift(shift_of(name)) {}
    name_key(const name_key& o) noexcept : name(o.name), shift(o.shift), slot(o.slot.load(std::memory_order_relaxed)) {}

    // Spreads the interned address over the 64 mask bits: the name's bit is 1 << shift_of(name).
    static unsigned shift_of(symbol name) noexcept
    {
        return static_cast<unsigned>((reinterpret_cast<std::uintptr_t>(name) * 0x9E3779B97F4A7C15u) >> 58);
    }
    static std::uint64_t bit_of(symbol name) noexcept { return std::uint64_t{1} << shift_of(name); }

    const symbol name;
    // The bit's number rather than the bit: every node that names a variable holds a key, and this
    // keeps the key at 16 bytes.
    const std::uint8_t shift;
    // Relaxed atomic: a compiled node is read by one interpreter, but a stale hint is merely a miss.
    mutable std::atomic<std::uint32_t> slot{0};
};

class variable {
public:
    using entry = std::pair<symbol, value>;

    // Whether the name may be bound here: false means it surely is not.
    bool may_hold(const name_key& key) const noexcept { return (names_ >> key.shift) & 1; }
    // The handle in the key's remembered slot when that slot holds the name; else nullptr.
    value* at_hint(const name_key& key) noexcept
    {
        const std::uint32_t i = key.slot.load(std::memory_order_relaxed);
        return i < entries_.size() && entries_[i].first == key.name ? &entries_[i].second : nullptr;
    }
    // The handle at index i when that entry binds the name; else nullptr (a compiled member access
    // settles the index and checks it here).
    value* at_index(std::size_t i, symbol name) noexcept
    {
        return i < entries_.size() && entries_[i].first == name ? &entries_[i].second : nullptr;
    }
    // A full search for the key's name that remembers the slot it found.
    value* find(const name_key& key) noexcept
    {
        const std::size_t i = index_of(key.name);
        if (i == npos) return nullptr;
        key.slot.store(static_cast<std::uint32_t>(i), std::memory_order_relaxed);
        return &entries_[i].second;
    }

    // The stored handle for the name, or nullptr when this table (not its outer scopes) lacks it.
    value* find(symbol name) noexcept
    {
        const std::size_t i = index_of(name);
        return i == npos ? nullptr : &entries_[i].second;
    }

    // Binds the name; a name already bound in this very table is refused and the old binding kept.
    const value& declare(symbol name, value v);

    // Binds a name the caller knows is not bound here (a new frame's distinct parameter names): the
    // same as declare without the search for a duplicate.
    void declare_new(symbol name, value v)
    {
        entries_.emplace_back(name, std::move(v));
        names_ |= name_key::bit_of(name);
        if (index_ || entries_.size() > linear_limit) index_last();
    }
    // Room for n bindings in all, so binding them grows the storage at most once.
    void reserve(std::size_t n) { entries_.reserve(n); }

    // Rebinds an existing name (instance assignment gives members new value objects).
    void rebind(symbol name, value v);

    // Moves every bound value into `out` and forgets the names (an instance being released gives its
    // members up this way, see factor::give_up_children).
    void give_up_values(release_list& out)
    {
        for (auto& e : entries_) out.push_back(std::move(e.second));
        clear();
    }

    // Drops every binding, in declaration order.
    void clear() noexcept
    {
        entries_.clear();
        index_.reset();
        names_ = 0;
    }

    // Lookup that misses with the map's standard out-of-range error.
    const value& at(symbol name);

    using storage = boost::container::small_vector<entry, 3>;  // most scopes hold a few names
    const storage& entries() const noexcept { return entries_; }
    std::size_t size() const noexcept { return entries_.size(); }
    bool empty() const noexcept { return entries_.empty(); }

private:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);
    std::size_t index_of(symbol name) const noexcept
    {
        if (index_) {
            auto it = index_->find(name);
            return it == index_->end() ? npos : it->second;
        }
        for (std::size_t i = 0; i < entries_.size(); ++i)
            if (entries_[i].first == name) return i;
        return npos;
    }

    // Enters the last binding in the index, building the index when the table has just outgrown the
    // linear search.
    void index_last();

    static constexpr std::size_t linear_limit = 12;
    std::uint64_t names_ = 0;  // the bits (name_key::bit_of) of every bound name
    storage entries_;
    std::unique_ptr<std::unordered_map<symbol, std::size_t>> index_;
};

} // namespace vorla::table
