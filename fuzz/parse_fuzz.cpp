// Fuzz target: one input is a file given to vorla-parse (decode, strip comments, parse, print), and its
// stripped text is parsed by the grammar's reference form too: any difference is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include <cstdio>

#include "comment_p.hpp"
#include "exception.hpp"
#include "lib/file.hpp"
#include "locale.hpp"
#include "semantic/grammar.hpp"
#include "stack_guard.hpp"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    vorla::install_locale();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::wstring text =
        lib::file::decode_utf8(std::string_view(reinterpret_cast<const char*>(data), size));
    std::string report;
    const bool full = vorla::detail::semantic::parse_report(text, report);
    // A full parse prints a tree of at least the program node; a failure prints its one line.
    if (report.empty() || (!full && report.back() != '\n')) std::abort();
    vorla::offset_map map;
    std::wstring stripped;
    try {
        stripped = vorla::comment_p(text, map);
    } catch (const vorla::exception&) {
        return 0;  // the stripper refused it: neither parser sees it
    }
    if (const std::string d = vorla::detail::semantic::parse_difference(stripped, &map); !d.empty()) {
        std::fprintf(stderr, "the parser and the reference grammar differ: %s\n", d.c_str());
        std::abort();
    }
    return 0;
}
