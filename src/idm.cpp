// The type-id manager: built-in names, id generation for classes and processes, reverse lookup.
#include "idm.hpp"

#include <stdexcept>

namespace vorla {

template <class Ch>
idm<Ch>::idm()
{
    const struct {
        const char* name;
        type_id_t id;
    } builtins[] = {
        {"bool", tid::boolean},    {"int", tid::signed_},     {"float", tid::float_},
        {"double", tid::double_},  {"string", tid::string_},  {"u?int", tid::unsigned_},
        {"vector", tid::vector_},  {"list", tid::list_},      {"timer", tid::timer},
        {"hash", tid::hash_},      {"nil", tid::nil},         {"ref", tid::ref},
        {"typeid", tid::typeid_},  {"bad_cast", tid::bad_cast}, {"range_error", tid::range_error},
    };
    for (const auto& b : builtins) {
        string_type name;
        for (const char* p = b.name; *p; ++p) name += static_cast<Ch>(*p);
        map_.emplace(std::move(name), b.id);
    }
}

template <class Ch>
type_id_t idm<Ch>::next_id(const char* function)
{
    // Once the counter has wrapped the id space stays used up: counting on from 0 would hand out
    // ids that are already taken.
    if (exhausted_) throw VORLA_EXCEPTION(function, "exceed max. number of typeid");
    do {
        ++counter_;
        if (counter_ == 0) {
            exhausted_ = true;
            throw VORLA_EXCEPTION(function, "exceed max. number of typeid");
        }
    } while (tid::is_builtin(counter_));
    return counter_;
}

template <class Ch>
type_id_t idm<Ch>::generate(const string_type& name)
{
    static constexpr const char* function = "vorla::idm<wchar_t>::generate";
    if (contains(name))
        throw VORLA_EXCEPTION(function, "typeid already exists, sid=")
                  .explain("a class or type named '" + narrow(std::wstring(name.begin(), name.end())) + "' already exists")
            << name;
    const type_id_t id = next_id(function);
    map_.emplace(name, id);
    return id;
}

template <class Ch>
type_id_t idm<Ch>::generate_p(const string_type& name)
{
    static constexpr const char* function = "vorla::idm<wchar_t>::generate_p";
    // Processes clash with classes of the same name; a second process of one name replaces the entry.
    if (contains(name))
        throw VORLA_EXCEPTION(function, "typeid already exists, sid")
                  .explain("a class named '" + narrow(std::wstring(name.begin(), name.end())) + "' already exists")
            << name;
    const type_id_t id = next_id(function);
    map_.insert_or_assign(string_type{static_cast<Ch>('p'), static_cast<Ch>('?')} + name, id);
    return id;
}

template <class Ch>
typename idm<Ch>::string_type idm<Ch>::find_str(type_id_t id) const
{
    for (const auto& [name, named] : map_)
        if (named == id) return name;
    throw VORLA_EXCEPTION("vorla::idm<wchar_t>::find_str", "undefined typeid, tid=") << id;
}

template <class Ch>
type_id_t idm<Ch>::find(const string_type& name) const
{
    const auto it = map_.find(name);
    if (it == map_.end()) throw std::out_of_range("Unable to find key in unordered_map.");
    return it->second;
}

template class idm<wchar_t>;

} // namespace vorla
