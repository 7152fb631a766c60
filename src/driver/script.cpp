// Compiling the command line's script from its source, and starting its process main with the words.
#include "driver/script.hpp"

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <vector>

namespace vorla::driver {

namespace {

bool from_standard_input(const options& o) { return !o.statements && !o.operands.empty() && o.operands.front() == "-"; }

std::string words(std::size_t n) { return std::to_string(n) + (n == 1 ? " word" : " words"); }

// The signature a main taking these words has: "main(string, string)".
std::string taking_words(std::size_t n)
{
    std::string out = "main(";
    for (std::size_t i = 0; i < n; ++i) out += i ? ", string" : "string";
    return out + ")";
}

} // namespace

std::string script_name(const options& o)
{
    if (o.statements) return "-e";
    if (from_standard_input(o)) return "<stdin>";
    return o.operands.empty() ? std::string() : o.operands.front();
}

void add_include_directories(const options& o, interpreter_options& settings)
{
    if (!o.statements && !from_standard_input(o)) return;
    std::error_code ec;
    const std::filesystem::path here = std::filesystem::current_path(ec);
    if (!ec) settings.include_directories.insert(settings.include_directories.begin(), here.string());
}

void compile_script(interpreter& vorla, const options& o, std::istream& in)
{
    if (o.statements) {
        vorla.compile_statements(script_name(o), *o.statements);
    } else if (from_standard_input(o)) {
        const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        vorla.compile_string(script_name(o), text);
    } else {
        vorla.compile_file(o.operands.front());
    }
}

void start_main(interpreter& vorla, const options& o)
{
    std::vector<script_value> arguments;
    for (std::size_t i = 1; i < o.operands.size(); ++i) arguments.push_back(make_string(o.operands[i]));
    try {
        vorla.start("main", arguments);
    } catch (const script_error& e) {
        const std::vector<std::string> defined = vorla.process_signatures("main");
        // A main that takes these words failed for a reason of its own, which its report tells.
        if (std::find(defined.begin(), defined.end(), taking_words(arguments.size())) != defined.end()) throw;
        std::string report = script_name(o) + ": error: no process main takes " + words(arguments.size()) + ": ";
        if (defined.empty()) {
            report += "the script defines no process main";
        } else {
            report += "the script defines ";
            for (std::size_t i = 0; i < defined.size(); ++i) report += (i ? ", " : "") + defined[i];
        }
        report += "\n" + usage_line() + "\n";
        throw script_error(e.what(), report, script_name(o), 0, 0);
    }
}

} // namespace vorla::driver
