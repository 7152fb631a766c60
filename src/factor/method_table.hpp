// The built-in values' method tables: (method name, argument count) -> body, for wide or narrow names.
#pragma once

#include <cstddef>
#include <initializer_list>
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

// One table per class and name kind, built on first use from narrow literals. The same name with another
// argument count is another method (or none). A built-in class has a couple of dozen methods at most, so a
// linear scan beats hashing the name, and a lookup allocates nothing.
template <class Ch, class Body>
class method_table {
public:
    struct row {
        const char* name;
        std::size_t argc;
        Body body;
    };

    method_table(std::initializer_list<row> rows)
    {
        entries_.reserve(rows.size());
        for (const row& r : rows) {
            const std::string_view n(r.name);
            // Method names are plain ASCII, so widening them a character at a time is exact.
            entries_.push_back(entry{std::basic_string<Ch>(n.begin(), n.end()), r.argc, r.body});
        }
    }

    // The body of a call, or null when the class has no method of that name taking that many arguments.
    const Body* find(std::basic_string_view<Ch> name, std::size_t argc) const
    {
        for (const entry& e : entries_)
            if (e.argc == argc && e.name == name) return &e.body;
        return nullptr;
    }
    const Body* find(const method_call<Ch>& c) const { return find(c.name, c.v.size()); }

    // The rows in table order, names narrowed (they are plain ASCII).
    method_signatures signatures() const
    {
        method_signatures out;
        out.reserve(entries_.size());
        for (const entry& e : entries_) out.push_back({std::string(e.name.begin(), e.name.end()), e.argc});
        return out;
    }

private:
    struct entry {
        std::basic_string<Ch> name;
        std::size_t argc;
        Body body;
    };
    std::vector<entry> entries_;
};

// A call as a miss quotes it: the method name (narrowed) and its arguments.
inline std::string method_call_text(const method_call<char>& c) { return call_text(c.name, c.v); }
inline std::string method_call_text(const method_call<wchar_t>& c) { return call_text(narrow(c.name), c.v); }

} // namespace vorla
