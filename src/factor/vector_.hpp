// The script's vector, and the sequence logic it shares with the list: element handles in order.
#pragma once

#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "factor/collectable.hpp"
#include "factor/factor.hpp"
#include "factor/method_table.hpp"
#include "lib/growing_array.hpp"

namespace vorla {

namespace detail {

// Everything a vector and a list do alike, over the element container. Self is the concrete class: it
// names the type (id, "vector"/"list", whether its hash starts with its id) and raises its own range
// errors, so each class reports from its own header. Elements that enter are clones; elements that leave
// (at, front, back, pop_*, replace, push_*) are the stored handles, so changing them changes the element.
template <class Self, class Elements>
class sequence : public collectable {
public:
    void call_constructor(const args& v) override;
    void call_constructor(const value& v) override;
    void call_constructor() override {}
    void operator=(const value& r) override;

    value method(const method_call<wchar_t>& c) override;
    value method(const method_call<char>& c) override;
    value builtin_method(method_name m, arg_span v) override;

    type_id_t type_id() const override { return Self::id; }
    value clone() const override;
    value clone_counted(std::size_t& budget, unsigned depth) const override;
    void hash_at(std::uint32_t& seed, unsigned depth) const override;
    bool equal_at(const value& other, unsigned depth) const override;
    std::string describe_at(unsigned depth) const override;

    const Elements& elements() const { return items_; }
    // A new value of this type holding `items` as they are (the caller made them for it alone).
    static value holding(Elements items);

    // The built-in methods' names and argument counts, in table order.
    static method_signatures methods();

    void give_up_children(release_list& out) override;
    void visit_children(child_visitor& visit) const override;

    // The most elements a count may ask for at once (construction, resize): a larger count is refused
    // before anything is allocated.
    static constexpr std::size_t size_limit = 10000000;

protected:
    sequence() = default;
    // Nested a million deep, the elements are released by a loop, not by destructors inside destructors.
    ~sequence() override;

private:
    static constexpr bool indexed = std::random_access_iterator<typename Elements::iterator>;

    // The built-in methods, reached only through the dispatch switch, after the table checked the argument count.
    value m_size(arg_span v);
    value m_empty(arg_span v);
    value m_clear(arg_span v);
    value m_front(arg_span v);
    value m_back(arg_span v);
    value m_pop_back(arg_span v);
    value m_push_back(arg_span v);
    value m_swap(arg_span v);
    value m_resize(arg_span v);
    value m_resize_fill(arg_span v);
    // at and replace belong to the vector's table, push_front and pop_front to the list's. Each is
    // written for both element containers, so the explicit instantiations need no constraints (which
    // clang 14 does not honour there).
    value m_at(arg_span v);
    value m_replace(arg_span v);
    value m_push_front(arg_span v);
    value m_pop_front(arg_span v);
    // sort and reverse belong to both; the rest to the vector only.
    value m_sort(arg_span v);
    // sort_by runs script code (the elements' key methods), so it takes the call's signal slot, where a
    // key method's throw waits while this call yields an empty handle.
    value m_sort_by(arg_span v, script_signal* out, context* ctx);
    value m_reverse(arg_span v);
    value m_insert(arg_span v);
    value m_erase(arg_span v);
    value m_index_of(arg_span v);
    value m_slice(arg_span v);
    value m_join(arg_span v);
    // The first argument as an index from 0 to `most` (the last element's, or the size for insert).
    std::size_t element_index(method_name m, arg_span v, std::size_t most) const;

    static const method_table& method_rows();
    template <class Name>
    value dispatch(const method_call<Name>& c);
    // Runs method m (found in the table with v's count), or yields an empty handle for none.
    value answer(method_name m, arg_span v);
    // The elements of another value of this type, or nullptr when it is of another type.
    static sequence* same_type(const value& v);
    // Copies of the elements, counted against the copy's budget.
    // Copies of the elements, counted against the copy's budget, `depth` levels below where the copy began.
    Elements deep_copy(const Elements& from, std::size_t& budget, unsigned depth) const;
    Elements deep_copy(const Elements& from) const
    {
        std::size_t budget = copy_limit;
        return deep_copy(from, budget, 0);
    }
    // Drops elements from the end, or appends per new position a clone of what `fill` is at the call (a
    // new nil when empty). A count beyond size_limit is refused as `op` before anything changes.
    void resize(unsigned int n, const value& fill, const char* op);

    Elements items_;
};

} // namespace detail

// A vector's elements: handles in one array that grows without copying, big ones in huge pages.
using vector_elements = ::lib::growing_array<value>;

class vector_ final : public detail::sequence<vector_, vector_elements> {
public:
    static constexpr type_id_t id = tid::vector_;
    static constexpr const char* tag = "vector";
    static constexpr bool hashes_id = false;

    vector_() = default;

    // Range errors are reported from this header, under the method dispatcher's name.
    [[noreturn]] static void out_of_range(std::string why = {})
    {
        throw_range_error(__FILE__, "vorla::vector_::_method", __LINE__, std::move(why));
    }

protected:
    VORLA_SITE("vorla::vector_")
};

extern template class detail::sequence<vector_, vector_elements>;

} // namespace vorla
