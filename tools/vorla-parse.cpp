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
    const sem::parse_info info = sem::strip_and_parse(text);
    if (info.full) {
        std::cout << sem::dump_tree(info.tree);
        return std::cout ? 0 : 1;
    }
    std::cout << sem::failure_line(info) << '\n';
    return 1;
}
