// Fuzz target: one input is a file given to vorla-parse (decode, strip comments, parse, print).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

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
    return 0;
}
