// The interpreter's hash map: std::unordered_map whose failed `at` reports the text every table lookup shares.
#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <unordered_map>

namespace vorla::lib {

// Callers that may miss catch std::out_of_range and go on to an outer scope or namespace, or report
// a message of their own; the miss text is the same for every table.
template <class K, class V, class Hash = std::hash<K>, class Eq = std::equal_to<K>,
          class Alloc = std::allocator<std::pair<const K, V>>>
class hash : public std::unordered_map<K, V, Hash, Eq, Alloc> {
    using base = std::unordered_map<K, V, Hash, Eq, Alloc>;

public:
    using base::base;

    V& at(const K& key)
    {
        auto it = this->find(key);
        if (it == this->end()) miss();
        return it->second;
    }
    const V& at(const K& key) const
    {
        auto it = this->find(key);
        if (it == this->end()) miss();
        return it->second;
    }

private:
    [[noreturn]] static void miss() { throw std::out_of_range("Unable to find key in unordered_map."); }
};

} // namespace vorla::lib
