// A scope's variables: name to value handle, in declaration order; small scopes are searched linearly.
#pragma once

#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include <boost/container/small_vector.hpp>

#include "factor/factor.hpp"
#include "symbol.hpp"

namespace vorla::table {

class variable {
public:
    using entry = std::pair<symbol, value>;

    // The stored handle for the name, or nullptr when this table (not its outer scopes) lacks it.
    value* find(symbol name) noexcept
    {
        if (index_) {
            auto it = index_->find(name);
            return it == index_->end() ? nullptr : &entries_[it->second].second;
        }
        for (auto& e : entries_)
            if (e.first == name) return &e.second;
        return nullptr;
    }

    // Binds the name; a name already bound in this very table is refused and the old binding kept.
    const value& declare(symbol name, value v);

    // Rebinds an existing name (instance assignment gives members new value objects).
    void rebind(symbol name, value v);

    // Moves every bound value into `out` and forgets the names (an instance being released gives its
    // members up this way, see factor::give_up_children).
    void give_up_values(release_list& out)
    {
        for (auto& e : entries_) out.push_back(std::move(e.second));
        entries_.clear();
        index_.reset();
    }

    // Drops every binding, in declaration order.
    void clear() noexcept
    {
        entries_.clear();
        index_.reset();
    }

    // Lookup that misses with the map's standard out-of-range error.
    const value& at(symbol name);

    using storage = boost::container::small_vector<entry, 3>;  // most scopes hold a few names
    const storage& entries() const noexcept { return entries_; }
    std::size_t size() const noexcept { return entries_.size(); }
    bool empty() const noexcept { return entries_.empty(); }

private:
    static constexpr std::size_t linear_limit = 12;
    storage entries_;
    std::unique_ptr<std::unordered_map<symbol, std::size_t>> index_;
};

} // namespace vorla::table
