// The name pool behind intern(): node-based, so interned addresses never move.
#include "symbol.hpp"

#include <unordered_set>

namespace vorla {

symbol intern(const std::wstring& name)
{
    static std::unordered_set<std::wstring>* pool = new std::unordered_set<std::wstring>;  // lives to exit
    return &*pool->insert(name).first;
}

} // namespace vorla
