// The built-in values' method tables: which (method name, argument count) pairs a class answers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "exception.hpp"
#include "factor/factor.hpp"

namespace vorla {

// A built-in method as a script calls it: its name and the number of arguments it takes. Each value class
// with methods lists its table through a static `methods()`, so the documentation can be checked against it.
struct method_signature {
    std::string name;
    std::size_t argc;
};
using method_signatures = std::vector<method_signature>;

// One table per class. The same name with another argument count is another method (or none). A class
// finds the call's method here and runs it from a switch over the name; the lookup is one table read.
// A table is built when compiling (each class holds it as a constexpr static), so a call reads it with no
// first-use check.
class method_table {
public:
    struct row {
        method_name name;
        std::size_t argc;
    };

    constexpr method_table(std::initializer_list<row> rows)
    {
        if (rows.size() > max_rows) throw std::logic_error("built-in method table too long");
        for (const row& r : rows) {
            if (r.argc >= max_args) throw std::logic_error("built-in method with too many arguments");
            rows_[count_++] = r;
            argc_bits_[index(r.name)] |= static_cast<std::uint8_t>(1u << r.argc);
        }
    }

    // The call's method name when the class has that method with that many arguments, else none.
    template <class Ch>
    method_name find(const method_call<Ch>& c) const
    {
        const method_name n =
            c.method != method_name::unresolved ? c.method : method_name_of(std::basic_string_view<Ch>(c.name));
        return has(n, c.v.size()) ? n : method_name::none;
    }

    // Whether the class has method n with argc arguments.
    constexpr bool has(method_name n, std::size_t argc) const
    {
        return argc < max_args && (argc_bits_[index(n)] >> argc & 1u);
    }

    // The rows in table order.
    method_signatures signatures() const
    {
        method_signatures out;
        out.reserve(count_);
        for (std::size_t i = 0; i < count_; ++i) out.push_back({std::string(method_text(rows_[i].name)), rows_[i].argc});
        return out;
    }

private:
    static constexpr std::size_t max_args = 8;   // one bit per argument count in argc_bits_
    static constexpr std::size_t max_rows = 32;  // the longest table (the real numbers') fits
    static constexpr std::size_t index(method_name n) { return static_cast<std::size_t>(n); }

    std::array<row, max_rows> rows_{};
    std::size_t count_ = 0;
    // Per name, bit k set when the class has the method with k arguments.
    std::array<std::uint8_t, static_cast<std::size_t>(method_name::count_)> argc_bits_{};
};

// A call as a miss quotes it: the method name (narrowed) and its arguments.
inline std::string method_call_text(const method_call<char>& c) { return call_text(c.name, c.v); }
inline std::string method_call_text(const method_call<wchar_t>& c) { return call_text(narrow(c.name), c.v); }

} // namespace vorla
