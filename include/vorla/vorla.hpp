// vorla as a library: an interpreter object that a C++ host owns, compiles scripts into and drives.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace vorla {

class interpreter;

// The kinds of value a host reads and makes without knowing the interpreter's value classes. Every
// other value (a list, a timer, an instance of a script class, a process...) is `other`: a host can
// hold it, pass it back to scripts and describe it, but not take it apart.
enum class value_kind { nil, int_, uint_, float_, double_, bool_, string, vector, hash, other };

// A handle on one script value. Copies share the value, as two script variables bound to one value
// do. A value taken from an interpreter must not outlive it unless it is of one of the plain kinds
// above (other than `other`), which stand on their own. Like an interpreter, a value and its copies are
// used on one thread at a time.
class script_value {
public:
    script_value();  // nil
    script_value(const script_value& other);
    script_value(script_value&& other) noexcept;
    script_value& operator=(const script_value& other);
    script_value& operator=(script_value&& other) noexcept;
    ~script_value();

    value_kind kind() const noexcept;
    // The type as scripts write it: "int", "unsigned int", "string", "vector", a class name...
    std::string type_name() const;
    // The value as diagnostics show it: "int(3)", "string(abc)", "vector(int(1), int(2))".
    std::string describe() const;
    bool is_nil() const noexcept { return kind() == value_kind::nil; }

    // Each reader takes exactly its own kind (as_double also a float) and throws std::invalid_argument
    // naming the kind found otherwise: scripts overload on exact types, and a host reading a value sees
    // the same exactness.
    int as_int() const;
    unsigned int as_uint() const;
    double as_double() const;
    bool as_bool() const;
    std::wstring as_wstring() const;
    std::string as_string() const;  // UTF-8
    // The element handles, in order: changing one changes the element in the vector.
    std::vector<script_value> as_vector() const;
    // The entries in the hash's own order.
    std::vector<std::pair<script_value, script_value>> as_hash() const;

private:
    friend struct value_access;
    struct uninitialized {};
    explicit script_value(uninitialized) noexcept {}  // for the library, which places a handle at once
    // The interpreter's own value handle lives in place here (it is at most two pointers wide), so a
    // script_value costs no allocation of its own; only the library knows its type. Never empty.
    alignas(void*) unsigned char handle_[2 * sizeof(void*)];
};

script_value make_nil();
script_value make_int(int v);
script_value make_uint(unsigned int v);
script_value make_double(double v);
script_value make_bool(bool v);
script_value make_string(const std::wstring& v);
script_value make_string(const std::string& utf8);
script_value make_string(const char* utf8);
// Copies of the elements go in, as a script's push_back puts them.
script_value make_vector(const std::vector<script_value>& elements);
// A later entry with a key equal to an earlier one's replaces it, as insertion does in scripts.
script_value make_hash(const std::vector<std::pair<script_value, script_value>>& entries);

// An error of a script: found while compiling, or raised by a run and caught by no handler. what() is
// the diagnostic the vorla program prints on standard output (a chain of lines, innermost last);
// report() is the account for people it prints on standard error (position, source line, call stack),
// empty when the error has no place in a script.
class script_error : public std::runtime_error {
public:
    script_error(const std::string& diagnostic, std::string report, std::string file, unsigned line,
                 unsigned column);
    const std::string& report() const noexcept { return report_; }
    // Where in which script the error stands; an empty file and 0, 0 when that is not known.
    const std::string& file() const noexcept { return file_; }
    unsigned line() const noexcept { return line_; }
    unsigned column() const noexcept { return column_; }

private:
    std::string report_;
    std::string file_;
    unsigned line_;
    unsigned column_;
};

struct interpreter_options {
    // Searched, in order, for a script file compile_file or an #include does not find by its own path.
    std::vector<std::string> include_directories;
    // Script calls (functions, constructors, conversions) nested at once before "call depth exceeded".
    unsigned call_depth_limit = 10000;
    // At most this many process steps in all (and as many calls and loop iterations within any one step)
    // before "step limit reached"; none when empty.
    std::optional<std::uint64_t> step_budget;
    // Seconds of wall-clock time from the interpreter's construction before "time limit reached".
    std::optional<double> time_budget;
    // Where using::write writes and using::read reads, as UTF-8; the standard streams when null. The
    // streams must outlive the interpreter.
    std::ostream* output = nullptr;
    std::istream* input = nullptr;
    // A file descriptor that receives one line per process step ("pass 4: counter#2 at hello.vl:5:22"),
    // written line by line (for a terminal) or in blocks; no trace when negative.
    int trace_fd = -1;
    bool trace_line_by_line = false;
};

// One interpreter: its own compiled program, processes, random sequence, names and limits. Several may
// live in one program; each runs on one thread at a time (interpreters on different threads may run at
// the same time), and a native of one may call into another.
// Scripts recurse on the machine stack of the thread that calls in (see with_script_stack).
class interpreter {
public:
    // A native function, called by scripts as using::name(...): it receives the argument values and
    // returns one (make_nil() for nothing). An exception it throws becomes a script diagnostic.
    using native = std::function<script_value(const std::vector<script_value>&)>;

    explicit interpreter(interpreter_options options = {});
    ~interpreter();
    interpreter(const interpreter&) = delete;
    interpreter& operator=(const interpreter&) = delete;

    // Defines using::name. Every interpreter has write, read and debug already; a name defined before is
    // refused (script_error).
    void define_native(const std::string& name, native function);

    // Compiles a script file, with its includes, into the program: found by its own path (relative to
    // the working directory) or else in the include directories. Each file is compiled once.
    void compile_file(const std::string& path);
    // Compiles script text, named `name` in positions and diagnostics; includes are looked up in the
    // include directories.
    void compile_string(const std::string& name, const std::string& utf8_text);
    void compile_string(const std::string& name, const std::wstring& text);

    // Starts a process of the program; it takes its first step at the next pass.
    void start(const std::string& process, const std::vector<script_value>& arguments = {});
    // One scheduler pass: every live process takes one step. Returns whether any process is left.
    bool step();
    // At most `passes` passes; returns whether any process is left.
    bool run_for(std::uint64_t passes);
    // Passes until no process is left.
    void run();
    // The processes still live.
    std::size_t processes() const;

    // Calls a script function by name with exactly these argument types, to completion, and returns its value.
    script_value call(const std::string& function, const std::vector<script_value>& arguments = {});

private:
    struct impl;
    std::unique_ptr<impl> impl_;
};

// Installs the process-wide C++ and C locales the interpreter's texts are made under: UTF-8, and narrow
// numbers grouped by three ("int(1,234)") in diagnostics and descriptions. The vorla program calls it first;
// a host that wants the same texts calls it too, before anything else runs.
void install_locale();

// Runs f to completion on a stack as large as the one the vorla program gives scripts (256 MiB of
// reserved address space), and rethrows what f throws. On a thread's usual stack deep script recursion
// ends early, with the diagnostic of the call depth reached, instead of at call_depth_limit.
void with_script_stack(const std::function<void()>& f);

} // namespace vorla
