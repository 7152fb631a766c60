// The script's hash: a map from keys to values of any type, keyed by the values' own hash and equal.
#pragma once

#include <cstdint>
#include <string>

#include "factor/collectable.hpp"
#include "factor/factor.hpp"
#include "factor/method_table.hpp"
#include "lib/hash.hpp"

namespace vorla {

class hash_ final : public collectable {
public:
    // A key's hash: its own hash from the seed 0.
    static std::uint32_t hash_of(const value& k);

    // A key as the map holds it: the handle, the key's hash and, for a string key of up to short_text
    // characters that are all below 256, a copy of its text in one byte per character. Lookups compare
    // the hash, then for such a string the copied text, at the entry itself: they reach neither the key
    // object nor the text on its heap (in a big map, two cache misses per entry looked at). The map keeps
    // no hash of its own beside this one, so an entry is 40 bytes. Stored keys never change (the map made
    // them by clone and hands out only its values), so the copy stays true.
    class stored_key {
    public:
        static constexpr std::size_t short_text = 11;

        explicit stored_key(value k);
        const value& get() const noexcept { return key_; }
        operator const value&() const noexcept { return key_; }
        factor* operator->() const noexcept { return key_.get(); }
        std::uint32_t hash() const noexcept { return hash_; }
        // The key's own equal with probe, answered from the copy where there is one.
        bool matches(const value& probe) const;
        // The same for a probe whose hash is at hand: keys of another hash differ without a look at them.
        bool equal(const value& probe, std::uint32_t probe_hash) const { return probe_hash == hash_ && matches(probe); }

    private:
        static constexpr std::uint8_t no_copy = 0xFF;
        value key_;
        std::uint32_t hash_;
        std::uint8_t length_ = no_copy;  // of the copied text
        unsigned char text_[short_text];
    };

    // A value being looked up, with its hash worked out once.
    struct probe {
        explicit probe(const value& k) : key(k), hash(hash_of(k)) {}
        const value& key;
        std::uint32_t hash;
    };

    // The stored hash decides the bucket; the stored key decides equality. Lookups go by probe, so the
    // value looked up is hashed once and no stored_key is made for it.
    struct key_hash {
        using is_transparent = void;
        // Cheap and unfailing, so the map needs no copy of it in each entry.
        std::size_t operator()(const stored_key& k) const noexcept { return k.hash(); }
        std::size_t operator()(const probe& p) const noexcept { return p.hash; }
    };
    struct key_equal {
        using is_transparent = void;
        bool operator()(const probe& p, const stored_key& stored) const { return stored.equal(p.key, p.hash); }
        bool operator()(const stored_key& k, const stored_key& stored) const { return stored.equal(k.get(), k.hash()); }
    };
    // Entries come from the values' free lists (insert is the hash's commonest change).
    using map_type = lib::hash<stored_key, value, key_hash, key_equal,
                               value_pool::allocator<std::pair<const stored_key, value>>>;

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
    value clone_counted(std::size_t& budget, unsigned depth) const override;
    void hash_at(std::uint32_t& seed, unsigned depth) const override;
    bool equal_at(const value& other, unsigned depth) const override;
    std::string describe_at(unsigned depth) const override;

    const map_type& entries() const { return map_; }
    // The value at key, or nullptr: the lookup at and exist make (the last entry found is remembered),
    // for callers with a key of a class whose hash and equal cannot fail (a number, a string).
    value* find(const value& key);

    // The built-in methods' names and argument counts, in table order.
    static method_signatures methods();

    void give_up_children(release_list& out) override;
    void visit_children(child_visitor& visit) const override;

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
    // keys() or values(): a vector of copies, in the map's own order.
    value m_listing(bool keys);

    static const method_table& method_rows();
    template <class Name>
    value dispatch(const method_call<Name>& c);
    // Runs method m (found in the table with v's count), or yields an empty handle for none.
    value answer(method_name m, arg_span v);
    // A copy shares the keys (nothing can change them) and clones the values, counted against the
    // copy's budget.
    map_type copy_of(const map_type& from, std::size_t& budget, unsigned depth) const;
    map_type copy_of(const map_type& from) const
    {
        std::size_t budget = copy_limit;
        return copy_of(from, budget, 0);
    }
    // The entries of another hash value, or nullptr when it is of another type.
    static hash_* same_type(const value& v);

    using entry = map_type::value_type;
    // The entry whose key equals `key`, or nullptr.
    entry* lookup(const value& key);
    // lookup, with a key that cannot be hashed or compared refused as a range error.
    entry* lookup_or_range_error(const value& key);
    // lookup past the last entry found: the map's own search, which the next lookup may then skip.
    entry* search(const value& key);
    // The map, for a change: the last entry found is forgotten first.
    map_type& changing()
    {
        last_ = nullptr;
        return map_;
    }

    map_type map_;
    // The entry the last lookup found. Scripts often ask exist, then at, then at again with one key: the
    // second and third lookups then skip hashing and the bucket walk. The key is compared each time (the
    // probe may be a string changed since), and every change of the map forgets the entry.
    entry* last_ = nullptr;
};

} // namespace vorla
