// The script's list: a doubly linked sequence of element handles, growing at both ends.
#pragma once

#include <list>

#include "factor/vector_.hpp"

namespace vorla {

class list_ final : public detail::sequence<list_, std::list<value>> {
public:
    static constexpr type_id_t id = tid::list_;
    static constexpr const char* tag = "list";
    // A list's hash starts with its type id, so a list never hashes like a vector of the same elements.
    static constexpr bool hashes_id = true;

    list_() = default;

    // Range errors are reported from this header, under the method dispatcher's name.
    [[noreturn]] static void out_of_range(std::string why = {})
    {
        throw_range_error(__FILE__, "vorla::list_::_method", __LINE__, std::move(why));
    }

protected:
    VORLA_SITE("vorla::list_")
};

extern template class detail::sequence<list_, std::list<value>>;

} // namespace vorla
