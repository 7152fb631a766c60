// The string value: wide text that joins, compares, converts to numbers and answers the text methods.
#pragma once

#include <cstdint>
#include <string>

#include "factor/factor.hpp"
#include "factor/method_table.hpp"

namespace vorla {

template <class Ch>
class string_ : public factor {
public:
    using text_type = std::basic_string<Ch>;

    string_() = default;
    explicit string_(text_type text) : text_(std::move(text)) {}

    void call_constructor(const value& v) override;
    void call_constructor() override {}
    value operator+(const value& r) const override;
    value operator==(const value& r) const override;
    value operator!=(const value& r) const override;
    value operator>=(const value& r) const override;
    value operator<=(const value& r) const override;
    value operator>(const value& r) const override;
    value operator<(const value& r) const override;
    void operator=(const value& r) override;
    bool operate_in_place(arith op, const value& r) override;
    bool test_relation(relation op, const value& r, bool& out) const override;

    explicit operator unsigned int() const override;
    explicit operator int() const override;
    explicit operator float() const override;
    explicit operator double() const override;
    explicit operator std::string() const override;
    explicit operator std::wstring() const override;
    void append_wide(std::wstring& out) const override { out += text_; }

    value method(const method_call<wchar_t>& c) override;
    value method(const method_call<char>& c) override;
    value builtin_method(method_name m, arg_span v) override;

    type_id_t type_id() const override { return tid::string_; }
    value clone() const override;
    void hash(std::uint32_t& seed) const override;
    bool equal(const value& other) const override;
    std::string describe() const override;
    std::wostream& write_ostream(std::wostream& os) const override;
    std::ostream& write_ostream(std::ostream& os) const override;
    std::wistream& read_istream(std::wistream& is) override;
    std::istream& read_istream(std::istream& is) override;

    const text_type& text() const { return text_; }
    void set(const text_type& text)
    {
        text_ = text;
        hash_code_ = 0;
    }
    // `+=` onto the string where it stands (the vm's append to a global), without copying what it holds.
    void append(const text_type& text)
    {
        text_ += text;
        hash_code_ = 0;
    }

    // The built-in methods' names and argument counts, in table order.
    static method_signatures methods();

protected:
    VORLA_SITE("vorla::string_<wchar_t>")

private:
    // The built-in methods, reached only through the dispatch switch, after the table checked the argument count.
    value m_empty(arg_span v);
    value m_size(arg_span v);
    value m_at(arg_span v);
    value m_match(arg_span v);
    value m_find(arg_span v);
    value m_substr(arg_span v);
    value m_replace(arg_span v);
    value m_split(arg_span v);
    value m_case(bool upper);
    value m_trim(arg_span v);
    value m_starts_with(arg_span v);
    value m_ends_with(arg_span v);
    value m_repeat(arg_span v);
    value m_code(arg_span v);
    value m_search(arg_span v);
    value m_replace_all(arg_span v);
    template <class T>
    value m_to_number(const char* type) const;
    // A position argument from 0 to the text's length (the end included).
    std::size_t position(method_name m, arg_span v, std::size_t i) const;
    // Compares with the right operand's wide text by code point value: <0, 0 or >0.
    int compare(const value& r) const;
    int compare(const text_type& other) const;
    // A comparison slot's bool: the answer test_relation gives.
    value ordered(relation op, const value& r) const;
    // The value as a string, when it is one (the one class with the string type id), else null.
    static const string_* as_string(const value& v)
    {
        return v->type_id() == tid::string_ ? static_cast<const string_*>(v.get()) : nullptr;
    }
    static const method_table& method_rows();
    template <class Name>
    value dispatch(const method_call<Name>& c);
    // Runs method m (found in the table with v's count), or yields an empty handle for none.
    value answer(method_name m, arg_span v);

    // The text's own hash once worked out (0 while not: a text whose hash is 0 is simply hashed again).
    // A key looked up several times (exist, at, insert) is hashed once; every change of the text clears it.
    mutable std::uint32_t hash_code_ = 0;
    text_type text_;
};

extern template class string_<wchar_t>;

} // namespace vorla
