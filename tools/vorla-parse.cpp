// vorla-parse: prints the parse tree of one script file, or the reason it does not parse.
#include <iostream>
#include <string>

#include "exception.hpp"
#include "lib/file.hpp"
#include "locale.hpp"
#include "semantic/grammar.hpp"

int main(int argc, char** argv)
{
    namespace sem = vorla::detail::semantic;
    if (argc != 2) {
        std::cerr << "usage: vorla-parse FILE\n";
        return 1;
    }
    std::wstring text;
    try {
        lib::file::open(vorla::widen(argv[1]), text);
    } catch (const std::exception&) {
        std::cerr << "vorla-parse: cannot open " << argv[1] << '\n';
        return 1;
    }
    vorla::install_locale();
    std::string report;
    const bool full = sem::parse_report(text, report);
    std::cout << report;
    return full && std::cout ? 0 : 1;
}
