// Command-line parsing with the C library's getopt_long, which stops at the first non-option word.
#include "driver/options.hpp"

#include <getopt.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <exception>

#include "driver/console.hpp"
#include "exception.hpp"

#ifndef VORLA_VERSION
#define VORLA_VERSION "unknown"
#endif

namespace vorla::driver {

namespace {

enum code : int {
    opt_check = 256,
    opt_strict,
    opt_trace,
    opt_sandbox,
    opt_max_steps,
    opt_max_time,
    opt_version,
    opt_engine,
    opt_help = 'h',
    opt_interactive = 'i',
    opt_statements = 'e',
};

constexpr struct option long_options[] = {
    {"check", no_argument, nullptr, opt_check},
    {"strict", no_argument, nullptr, opt_strict},
    {"interactive", no_argument, nullptr, 'i'},
    {"trace", no_argument, nullptr, opt_trace},
    {"sandbox", no_argument, nullptr, opt_sandbox},
    {"max-steps", required_argument, nullptr, opt_max_steps},
    {"max-time", required_argument, nullptr, opt_max_time},
    {"help", no_argument, nullptr, opt_help},
    {"version", no_argument, nullptr, opt_version},
    // Not in the help: the engine being built beside the tree interpreter, for its developers.
    {"engine", required_argument, nullptr, opt_engine},
    {nullptr, 0, nullptr, 0},
};

// "+": stop at the first non-option word instead of moving options from after it (the script's words
// are the script's). ":": report a missing value apart from an unknown option. Errors are ours to word.
constexpr const char* short_options = "+:hie:";

std::string quoted(const std::string& s) { return "'" + s + "'"; }

// The option a word names: "--max-steps=5" names "--max-steps".
std::string option_name(const char* word)
{
    std::string w = word ? word : "";
    const auto eq = w.find('=');
    return eq == std::string::npos ? w : w.substr(0, eq);
}

std::string long_name(int val)
{
    for (const auto& o : long_options)
        if (o.name && o.val == val) return std::string("--") + o.name;
    return "?";
}

// The long options a word abbreviates, when it abbreviates more than one.
std::string ambiguity(const std::string& name)
{
    if (name.size() < 3 || name.compare(0, 2, "--") != 0) return {};
    std::string matches;
    int count = 0;
    for (const auto& o : long_options) {
        if (!o.name || std::string(o.name).rfind(name.substr(2), 0) != 0) continue;
        matches += (count++ ? ", --" : "--") + std::string(o.name);
    }
    return count > 1 ? matches : std::string();
}

std::string unknown_option(int optopt_value, const char* word)
{
    // A known option in the report is a long one given a value (-h never fails, so 'h' is --help=...).
    if (optopt_value >= opt_check || optopt_value == opt_help || optopt_value == opt_interactive)
        return "option " + quoted(long_name(optopt_value)) + " takes no value";
    if (optopt_value != 0)
        return "unknown option " + quoted(std::string("-") + static_cast<char>(optopt_value)) +
               " (put -- before a script whose name starts with -)";
    const std::string name = option_name(word);
    const std::string several = ambiguity(name);
    if (!several.empty()) return "ambiguous option " + quoted(name) + " (" + several + ")";
    return "unknown option " + quoted(name) + " (put -- before a script whose name starts with -)";
}

bool parse_steps(const char* text, std::uint64_t& out)
{
    const char* end = text + std::char_traits<char>::length(text);
    if (text == end || *text < '0' || *text > '9') return false;
    auto [p, ec] = std::from_chars(text, end, out);
    return ec == std::errc() && p == end;
}

bool parse_seconds(const char* text, double& out)
{
    const char* end = text + std::char_traits<char>::length(text);
    if (text == end || !((*text >= '0' && *text <= '9') || *text == '.')) return false;
    auto [p, ec] = std::from_chars(text, end, out, std::chars_format::fixed);
    return ec == std::errc() && p == end && std::isfinite(out);
}

} // namespace

command_line parse_command_line(int argc, char* const* argv)
{
    command_line c;
    // getopt keeps its cursor in the C library; 0 starts a fresh scan (also for the next call).
    optind = 0;
    opterr = 0;
    for (;;) {
        const int got = getopt_long(argc, argv, short_options, long_options, nullptr);
        if (got == -1) break;
        switch (got) {
        case opt_check:
            c.opts.check = true;
            break;
        case opt_strict:
            c.opts.strict = true;
            break;
        case opt_interactive:
            c.opts.interactive = true;
            break;
        case opt_trace:
            c.opts.trace = true;
            break;
        case opt_sandbox:
            c.opts.sandbox = true;
            break;
        case opt_help:
            c.opts.help = true;
            break;
        case opt_version:
            c.opts.version = true;
            break;
        case opt_statements:
            c.opts.statements = c.opts.statements ? *c.opts.statements + "\n" + optarg : std::string(optarg);
            break;
        case opt_max_steps: {
            std::uint64_t n = 0;
            if (!parse_steps(optarg, n)) {
                c.error = "option '--max-steps' takes a whole number of steps, not " + quoted(optarg);
                return c;
            }
            c.opts.max_steps = n;
            break;
        }
        case opt_max_time: {
            double s = 0;
            if (!parse_seconds(optarg, s)) {
                c.error = "option '--max-time' takes a number of seconds, not " + quoted(optarg);
                return c;
            }
            c.opts.max_time = s;
            break;
        }
        case opt_engine:
            if (std::string(optarg) == "vm") {
                c.opts.engine = interpreter_options::engine_choice::vm;
            } else if (std::string(optarg) == "tree") {
                c.opts.engine = interpreter_options::engine_choice::tree;
            } else {
                c.error = "option '--engine' takes tree or vm, not " + quoted(optarg);
                return c;
            }
            break;
        case ':':
            c.error = "option " + quoted(optopt == opt_statements ? std::string("-e") : long_name(optopt)) + " needs a value";
            return c;
        default:  // '?'
            c.error = unknown_option(optopt, optind > 0 && optind <= argc ? argv[optind - 1] : nullptr);
            return c;
        }
    }
    for (int i = optind; i < argc; ++i) c.opts.operands.emplace_back(argv[i]);
    if (c.opts.check && c.opts.operands.empty() && !c.opts.help && !c.opts.version)
        c.error = "option '--check' needs at least one file";
    if (c.opts.strict && !c.opts.check && c.error.empty()) c.error = "option '--strict' goes with '--check'";
    if (c.opts.interactive && c.opts.operands.size() > 1 && c.error.empty())
        c.error = "option '-i' takes at most one FILE to compile first";
    if (c.opts.interactive && c.opts.check && c.error.empty()) c.error = "options '-i' and '--check' do not go together";
    if (c.opts.interactive && c.opts.statements && c.error.empty()) c.error = "options '-i' and '-e' do not go together";
    if (c.opts.statements && !c.opts.operands.empty() && c.error.empty())
        c.error = "option '-e' runs its statements in place of a script, and main takes no words: " +
                  quoted(c.opts.operands.front()) + " is one too many";
    return c;
}

std::string usage_line() { return "usage: vorla [OPTION...] SCRIPT [WORD...]"; }

std::string version_text() { return std::string("vorla ") + VORLA_VERSION; }

std::string help_text()
{
    return usage_line() + "\n"
           "Compiles SCRIPT and every file it includes, starts its process main with the WORDs as string\n"
           "arguments, and runs every process, one statement step each per pass, until none is left.\n"
           "SCRIPT - reads the script from standard input.\n"
           "\n"
           "Options come before the script; -- ends them (vorla -- -name.vl runs a script named -name.vl).\n"
           "  -e STATEMENTS      run STATEMENTS as the body of a process main that takes no words, in\n"
           "                     place of a script (several -e are joined as lines)\n"
           "  --check            compile and check each FILE that follows (and what it includes), run\n"
           "                     nothing: vorla --check FILE... reports errors and warnings on standard\n"
           "                     error and names each file; exit 1 if any has an error\n"
           "  --strict           with --check: a warning fails its file as an error does\n"
           "  -i, --interactive  a session at the prompt: vorla -i [FILE] compiles FILE first, then runs each\n"
           "                     statement typed, shows each expression's value and keeps each definition\n"
           "  --trace            one line per scheduler step on standard error:\n"
           "                     pass, process name#id and the position of the statement it runs\n"
           "  --sandbox          for a script not trusted: no using:: natives for files or the system\n"
           "                     (only the console ones), and #include only from below the script's\n"
           "                     directory and the interpreter's own\n"
           "  --max-steps N      stop with a diagnostic after N scheduler steps, or when a single step\n"
           "                     makes more than N calls and loop iterations\n"
           "  --max-time SECONDS stop with a diagnostic once the run has taken SECONDS of wall-clock time\n"
           "  -h, --help         show this help and exit\n"
           "  --version          show the version and exit\n"
           "\n"
           "Exit status: 0 after a normal run, 1 after a diagnostic, 2 for a bad command line.\n"
           "Documentation: README.md and docs/ in the vorla source tree.\n";
}

std::optional<int> answer_without_running(const command_line& c, std::ostream& out, std::ostream& err)
{
    if (!c.error.empty()) {
        err << "vorla: " << c.error << '\n' << usage_line() << '\n' << std::flush;
        return 2;
    }
    if (c.opts.help) {
        out << help_text() << std::flush;
        return 0;
    }
    if (c.opts.version) {
        out << version_text() << '\n' << std::flush;
        return 0;
    }
    return std::nullopt;
}

void apply_budgets(const options& o, interpreter_options& settings)
{
    settings.step_budget = o.max_steps;
    settings.time_budget = o.max_time;
    settings.natives.files = !o.sandbox;
    settings.natives.system = !o.sandbox;
    settings.confine_includes = o.sandbox;
    settings.engine = o.engine;
}

std::string usage_diagnostic(const char* self)
{
    // The count the command line would have without its options: the interpreter's path alone.
    return (VORLA_EXCEPTION("main", "invalid argument count, argc=") << 1 << " argv[0]" << self).text();
}

int check_files(const std::vector<std::string>& files, const std::function<check_counts(const std::string&)>& check,
                std::ostream& out, std::ostream& err, const std::function<void(const std::exception&)>& explain, bool strict)
{
    auto counted = [](std::size_t n, const char* what) {
        return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
    };
    int status = 0;
    for (const std::string& file : files) {
        try {
            const check_counts found = check(file);
            const bool failed = found.errors > 0 || (strict && found.warnings > 0);
            std::string summary;
            if (found.errors) summary += ", " + counted(found.errors, "error");
            if (found.warnings) summary += ", " + counted(found.warnings, "warning");
            err << file << (failed ? ": failed" : ": ok") << summary << std::endl;
            if (failed) status = 1;
        } catch (const std::exception& e) {
            out << shorten_chain(e.what()) << '\n' << std::flush;
            if (explain) explain(e);
            err << file << ": failed" << std::endl;
            status = 1;
        }
    }
    return status;
}

} // namespace vorla::driver
