// The script's hash: a map from keys to values of any type, keyed by the values' own hash and equal.
#pragma once

#include <cstdint>
#include <string>

#include "factor/factor.hpp"
#include "factor/method_table.hpp"
#include "lib/hash.hpp"

namespace vorla {

class hash_ final : public factor {
public:
    // A key hashes from the seed 0 with its own hash; the stored key decides equality.
    struct key_hash {
        std::size_t operator()(const value& k) const;
    };
    struct key_equal {
        bool operator()(const value& probe, const value& stored) const;
    };
    // Entries come from the values' free lists (insert is the hash's commonest change).
    using map_type = lib::hash<value, value, key_hash, key_equal, value_pool::allocator<std::pair<const value, value>>>;

    hash_();
    // Values nested a million deep are released by a loop, not by destructors inside destructors.
    ~hash_() override;

    void call_constructor(const value& v) override;
    void call_constructor() override {}
    void operator=(const value& r) override;

    value method(const method_call<wchar_t>& c) override;
    value method(const method_call<char>& c) override;
    value builtin_method(method_name m, arg_span v) override;

    type_id_t type_id() const override { return tid::hash_; }
    value clone() const override;
    void hash(std::uint32_t& seed) const override;
    bool equal(const value& other) const override;
    std::string describe() const override;

    const map_type& entries() const { return map_; }

    // The built-in methods' names and argument counts, in table order.
    static method_signatures methods();

    void give_up_children(release_list& out) override;

protected:
    VORLA_SITE("vorla::hash_")

private:
    // Range errors are reported from this header, under the method dispatcher's name.
    [[noreturn]] static void out_of_range(std::string why = {})
    {
        throw_range_error(__FILE__, "vorla::hash_::_method", __LINE__, std::move(why));
    }

    // The built-in methods, reached only through the dispatch switch, after the table checked the argument count.
    value m_size(arg_span v);
    value m_empty(arg_span v);
    value m_clear(arg_span v);
    value m_at(arg_span v);
    value m_exist(arg_span v);
    value m_erase(arg_span v);
    value m_swap(arg_span v);
    value m_insert(arg_span v);

    static const method_table& method_rows();
    template <class Name>
    value dispatch(const method_call<Name>& c);
    // Runs method m (found in the table with v's count), or yields an empty handle for none.
    value answer(method_name m, arg_span v);
    // A copy shares the keys (nothing can change them) and clones the values.
    static map_type copy_of(const map_type& from);
    // The entries of another hash value, or nullptr when it is of another type.
    static hash_* same_type(const value& v);

    map_type map_;
};

} // namespace vorla
