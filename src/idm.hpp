// The type-id manager: one namespace's table between type names and type ids, and the id counter.
#pragma once

#include <string>
#include <unordered_map>

#include "factor/factor.hpp"

namespace vorla {

template <class Ch>
class idm {
public:
    using string_type = std::basic_string<Ch>;

    // Starts with the fifteen built-in names; the counter starts at 0.
    idm();

    // A new id for a script class name; the name must not be registered yet.
    type_id_t generate(const string_type& name);
    // A new id for a process name, registered as "p?" + name; a class of the same name is a clash.
    type_id_t generate_p(const string_type& name);
    // The name registered for an id (the first met when several share it).
    string_type find_str(type_id_t id) const;
    // The id registered under a name; a miss raises std::out_of_range, as every table lookup does.
    type_id_t find(const string_type& name) const;
    bool contains(const string_type& name) const { return map_.count(name) != 0; }

protected:
    // Steps the counter past 0 and the built-in ids; a wrap to 0 means the id space is used up.
    type_id_t next_id(const char* function);

    std::unordered_map<string_type, type_id_t> map_;
    type_id_t counter_ = 0;
    bool exhausted_ = false;
};

extern template class idm<wchar_t>;

} // namespace vorla
