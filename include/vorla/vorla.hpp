// vorla as a library: an interpreter object that a C++ host owns, compiles scripts into and drives.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace vorla {

class interpreter;

// The kinds of value a host reads and makes without knowing the interpreter's value classes. Every
// other value (a timer, an instance of a script class, a process...) is `other`: a host can hold it,
// pass it back to scripts and describe it, but not take it apart.
enum class value_kind { nil, int_, uint_, float_, double_, bool_, string, vector, hash, list, other };

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
    // The value as diagnostics show it: "int(3)", "string(abc)", "vector[int(1), int(2)]".
    std::string describe() const;
    bool is_nil() const noexcept { return kind() == value_kind::nil; }

    // Each reader takes exactly its own kind (as_double also a float) and throws std::invalid_argument
    // naming the kind found otherwise: scripts overload on exact types, and a host reading a value sees
    // the same exactness.
    int as_int() const;
    unsigned int as_uint() const;
    float as_float() const;
    double as_double() const;
    bool as_bool() const;
    std::wstring as_wstring() const;
    std::string as_string() const;  // UTF-8
    // The elements, in order, as handles sharing them.
    std::vector<script_value> as_vector() const;
    // The entries in the hash's own order.
    std::vector<std::pair<script_value, script_value>> as_hash() const;
    std::vector<script_value> as_list() const;

    // Changes a vector in place, as the script method replace does: element `index` becomes a copy of
    // `element`, for every holder of the vector. std::invalid_argument for another kind, std::out_of_range
    // for an index past the end.
    void set(std::size_t index, const script_value& element);
    // Adds a copy of the entry to a hash, as the script method insert does: false, with nothing changed,
    // when the key is there already. std::invalid_argument for another kind.
    bool insert(const script_value& key, const script_value& item);

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
script_value make_float(float v);
script_value make_double(double v);
script_value make_bool(bool v);
script_value make_string(const std::wstring& v);
script_value make_string(const std::string& utf8);
script_value make_string(const char* utf8);
// Copies of the elements go in, as a script's push_back puts them.
script_value make_vector(const std::vector<script_value>& elements);
script_value make_list(const std::vector<script_value>& elements);
// A later entry with a key equal to an earlier one's replaces it, as insertion does in scripts.
script_value make_hash(const std::vector<std::pair<script_value, script_value>>& entries);

namespace detail {
// One address per C++ type, which tells a host object's type apart from every other without RTTI.
template <class T>
struct host_key_of {
    static constexpr char id = 0;
};
// const T is the same type to a host object.
template <class T>
using host_key = host_key_of<std::remove_cv_t<T>>;
// The C++ object of a host object whose C++ type has key `key`; std::invalid_argument for any other value.
std::shared_ptr<void> host_pointer(const script_value& v, const void* key);
} // namespace detail

// The C++ object a host object stands for, as the host gave it to make_object; std::invalid_argument for a
// value that is no host object, or one of another C++ type. The object lives as long as the returned
// pointer or any script value standing for it.
template <class T>
std::shared_ptr<T> host_object(const script_value& v)
{
    return std::static_pointer_cast<T>(detail::host_pointer(v, &detail::host_key<T>::id));
}

// An error of a script: found while compiling, or raised by a run and caught by no handler. what() is
// the diagnostic the vorla program prints on standard output (a chain of lines, innermost last);
// report() is the account for people it prints on standard error (position, source line, call stack),
// empty when the error has no place in a script.
// Copies share one account, and its texts are made when first asked for: an error that crosses many
// nested host calls on its way out is not copied at each.
class script_error : public std::runtime_error {
public:
    script_error(const std::string& diagnostic, std::string report, std::string file, unsigned line,
                 unsigned column);
    const char* what() const noexcept override;
    const std::string& report() const noexcept;
    // Where in which script the error stands; an empty file and 0, 0 when that is not known.
    const std::string& file() const noexcept { return file_; }
    unsigned line() const noexcept { return line_; }
    unsigned column() const noexcept { return column_; }

private:
    friend struct value_access;
    struct account;
    script_error(std::shared_ptr<const account> a, std::string file, unsigned line, unsigned column);
    std::shared_ptr<const account> account_;
    std::string file_;
    unsigned line_;
    unsigned column_;
};

// Thrown by a native to raise in the script the same bad_cast or range_error a built-in raises: a script's
// try/catch catches it, and one that nothing catches ends the run as a built-in's does. `what()` is the
// reason shown in the report.
class script_throw : public std::runtime_error {
public:
    enum class kind { bad_cast, range_error };
    script_throw(kind k, const std::string& reason) : std::runtime_error(reason), kind_(k) {}
    static script_throw bad_cast(const std::string& reason) { return script_throw(kind::bad_cast, reason); }
    static script_throw range_error(const std::string& reason) { return script_throw(kind::range_error, reason); }
    kind which() const noexcept { return kind_; }

private:
    kind kind_;
};

// A limit for one call of run, run_for, step or call, on top of the interpreter's own budgets: at most
// `steps` scheduler steps (and as many calls and loop iterations within any one step), and `seconds` of
// wall-clock time, counted from the start of that call. Spent, it ends the call with a script_error
// ("step budget spent", "time budget spent"); a budget spent between two steps leaves every process as it
// was, ready for the next call. A NaN `seconds` is refused.
struct budget {
    std::optional<std::uint64_t> steps;
    std::optional<double> seconds;
};

// A process the host started. The handle belongs to its interpreter: it must not be used after the
// interpreter is destroyed. Copies name the same process.
class process_handle {
public:
    // The identity number scripts see (1, 2, 3, ... in start order) and the process's name.
    std::uint32_t id() const;
    std::string name() const;
    // Whether it has run to its end, failed or been stopped.
    bool finished() const;
    // Ends the process at a step boundary: it takes no further step, leaves the scheduler, and its
    // variables are released. Inside a pass (from a native) it takes no step after the current one and
    // leaves at its next turn. Stopping a finished process does nothing.
    void stop();

private:
    friend class interpreter;
    process_handle(interpreter* owner, script_value process) : owner_(owner), process_(std::move(process)) {}
    interpreter* owner_;
    script_value process_;  // the script's process value
};

// The outcome of a try_ call, for hosts built without exceptions: the value, or the error the throwing
// twin would have thrown. value() may be read only when ok(), error() only when not.
template <class T>
class result {
public:
    result(T v) : value_(std::move(v)) {}
    result(script_error e) : error_(std::move(e)) {}
    bool ok() const noexcept { return !error_.has_value(); }
    explicit operator bool() const noexcept { return ok(); }
    T& value() noexcept { return *value_; }
    const T& value() const noexcept { return *value_; }
    const script_error& error() const noexcept { return *error_; }

private:
    std::optional<T> value_;
    std::optional<script_error> error_;
};

template <>
class result<void> {
public:
    result() = default;
    result(script_error e) : error_(std::move(e)) {}
    bool ok() const noexcept { return !error_.has_value(); }
    explicit operator bool() const noexcept { return ok(); }
    const script_error& error() const noexcept { return *error_; }

private:
    std::optional<script_error> error_;
};

// A host type being defined (interpreter::define_type): each call adds to it and returns it, so the
// definitions chain. It is used only while its interpreter lives.
template <class T>
class host_type {
public:
    // A method scripts call as `object.name(arguments)`. It receives the C++ object and the arguments as
    // the script passed them, and takes them as exactly as a native does: a reader of another kind throws,
    // and the throw becomes the script's diagnostic at the call. script_throw raises a bad_cast or
    // range_error the script can catch. One function per name, whatever the number of arguments.
    host_type& method(const std::string& name,
                      std::function<script_value(T& object, const std::vector<script_value>& arguments)> function);
    // The text `debug` shows inside "NAME[...]" for an object (and `write` writes with it); "NAME[]" without.
    host_type& describe(std::function<std::string(const T& object)> function);

private:
    friend class interpreter;
    explicit host_type(interpreter* owner) : owner_(owner) {}
    interpreter* owner_;
};

// The vm cannot run this program yet (interpreter_options::engine): what it met first, and where.
class engine_refusal : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One thing the checker found in a compiled program (see interpreter::check).
struct check_finding {
    bool error = false;  // an error makes the script fail; a warning names a likely mistake
    std::string message;
    std::string file;  // as positions name it
    unsigned line = 0;
    unsigned column = 0;
    std::string report;  // "FILE:LINE:COL: warning: ...", the source line, the caret and a hint
};

struct interpreter_options {
    // Searched, in order, for a script file compile_file or an #include does not find by its own path.
    std::vector<std::string> include_directories;
    // Script calls (functions, constructors, conversions) nested at once before "call depth exceeded".
    unsigned call_depth_limit = 10000;
    // At most this many process steps in all (and as many calls and loop iterations within any one step)
    // before "step budget spent"; none when empty.
    std::optional<std::uint64_t> step_budget;
    // Seconds of wall-clock time from the interpreter's construction before "time budget spent"; a NaN is
    // refused (script_error from the constructor).
    std::optional<double> time_budget;
    // Where using::write writes and using::read reads, as UTF-8; the standard streams when null. The
    // streams must outlive the interpreter.
    std::ostream* output = nullptr;
    std::istream* input = nullptr;
    // Where using::error writes, as UTF-8; standard error when null. It must outlive the interpreter.
    std::ostream* error_output = nullptr;
    // The groups of natives scripts get (docs/library.md lists each native's group). The console group
    // has write, read, debug, read_line, eof and error; files reads and writes files where the host stands;
    // system has exit (which ends the whole program, host included), getenv, now and sleep.
    struct native_groups {
        bool console = true;
        bool files = false;
        bool system = false;
    };
    native_groups natives;
    // For scripts that are not trusted: an #include is compiled only from below the directory of the
    // script given to compile_file or one of the include directories, and a file that does not parse is
    // not shown in the diagnostic beyond the line where the parse stopped.
    bool confine_includes = false;
    // A file descriptor that receives one line per process step ("pass 4: counter#2 at hello.vl:5:22"),
    // written line by line (for a terminal) or in blocks; no trace when negative.
    int trace_fd = -1;
    bool trace_line_by_line = false;
    // Keeps the parse trees of what is compiled, which check() reads.
    bool keep_for_check = false;
    // Which engine runs the processes (see docs/internals.md). `vm`: the compiled engine, which refuses
    // with an engine_refusal, at start(), a process it cannot run exactly as the tree interpreter would.
    // `tree`: the tree interpreter. `automatic`: the vm, and the tree interpreter from the first start()
    // the vm refuses while none of its processes is live (processes of both never run side by side).
    enum class engine_choice { automatic, tree, vm };
    engine_choice engine = engine_choice::automatic;
};

// One interpreter: its own compiled program, processes, random sequence, names and limits. Several may
// live in one program; each runs on one thread at a time (interpreters on different threads may run at
// the same time), and a native of one may call into another.
// Scripts recurse on the machine stack of the thread that calls in (see with_script_stack).
class interpreter {
public:
    // A native function, called by scripts as using::name(...): it receives the argument values and
    // returns one (make_nil() for nothing). An exception it throws becomes a script diagnostic at the call;
    // one that is no std::exception is reported as a native failure there.
    using native = std::function<script_value(const std::vector<script_value>&)>;

    explicit interpreter(interpreter_options options = {});
    ~interpreter();
    interpreter(const interpreter&) = delete;
    interpreter& operator=(const interpreter&) = delete;

    // Defines using::name. An interpreter has the natives of its groups (interpreter_options::natives)
    // already; a name defined before is refused (script_error).
    void define_native(const std::string& name, native function);

    // Registers the C++ type T as a type of the scripts, named `name`. Scripts then declare variables,
    // parameters and members of that type and call the methods given to the returned host_type; they can
    // only receive objects from the host (make_object), never build one. Define a type before compiling
    // scripts that name it. A name that is no identifier, a keyword, or a name the program has (a class,
    // a type defined before), and a C++ type defined before, are refused (script_error).
    template <class T>
    host_type<T> define_type(const std::string& name)
    {
        define_host_type(name, &detail::host_key<T>::id);
        return host_type<T>(this);
    }
    // A script value standing for `object`, of the type define_type registered for T. Copies of the value
    // (a script's copy included) stand for the same object, which lives as long as any of them or the
    // host's own pointers. It belongs to this interpreter, like an instance of a script class. A null
    // object, or a T never defined, is refused (script_error).
    template <class T>
    script_value make_object(std::shared_ptr<T> object)
    {
        return make_host_object(&detail::host_key<T>::id, std::static_pointer_cast<void>(std::move(object)));
    }

    // Compiles a script file, with its includes, into the program: found by its own path (relative to
    // the working directory) or else in the include directories. Each file is compiled once.
    void compile_file(const std::string& path);
    // Compiles script text, named `name` in positions and diagnostics; includes are looked up in the
    // include directories. Its lines are numbered from `first_line` (for a script cut from a larger file).
    void compile_string(const std::string& name, const std::string& utf8_text, long first_line = 1);
    void compile_string(const std::string& name, const std::wstring& text, long first_line = 1);
    // Compiles statements as the body of `process main()` (what `vorla -e` runs), named `name` in
    // positions, which count lines and columns in the statements themselves; includes are looked up in
    // the include directories.
    void compile_statements(const std::string& name, const std::string& utf8_statements);
    // What the checker finds in everything compiled so far, in source order: names nothing defines,
    // calls nothing takes, and the language's traps. Needs keep_for_check; refused (script_error) without.
    std::vector<check_finding> check() const;

    // Each definition of the process `name` as scripts write its parameters, in the order they were
    // compiled ("main(string, string)"); empty when the program defines no process of that name.
    std::vector<std::string> process_signatures(const std::string& name) const;

    // Starts a process of the program; it takes its first step at the next pass. A name no process has is
    // refused with the report "no process named NAME".
    process_handle start(const std::string& process, const std::vector<script_value>& arguments = {});
    // One scheduler pass: every live process takes one step. Returns whether any process is left. Like
    // run_for and run, refused ("the scheduler is already running") from a native inside a pass.
    bool step(const budget& limit = {});
    // At most `passes` passes; returns whether any process is left.
    bool run_for(std::uint64_t passes, const budget& limit = {});
    // Passes until no process is left.
    void run(const budget& limit = {});
    // The processes still live.
    std::size_t processes() const;
    // Ends every live process at a step boundary, as process_handle::stop does for one. What they hold is
    // released; the program and its globals stay.
    void stop_processes();
    // Asks a run to stop, as Ctrl-C does for the vorla program: at the next step boundary, or inside a
    // step that does not end, at its next loop iteration or call; or soon, when every process sleeps. The
    // run (or step, run_for, call) then ends with a script_error "interrupted" that says where each live
    // process stood; the processes stay, as after a spent budget. Safe to call from a signal handler or
    // from another thread while the interpreter runs.
    void interrupt() noexcept;

    // Calls a script function by name with exactly these argument types, to completion, and returns its value.
    script_value call(const std::string& function, const std::vector<script_value>& arguments = {},
                      const budget& limit = {});

    // A global variable of the scripts, sharing its value (a container changed through the handle is
    // changed for the scripts). script_error for a name no global has.
    script_value global(const std::string& name) const;
    // Gives a global variable a copy of `value`, as a script's `name = value;` does; script_error for a name
    // no global has, or a value of another type than the variable's (the exactness overloads have).
    void set_global(const std::string& name, const script_value& value);

    // Script classes from the host, by the rules scripts have. These are the interpreter's, not a
    // script_value's, because a value does not know its interpreter.
    // An instance of a class, built by the constructor the arguments' exact types select (a class's own
    // construction without arguments for none); script_error for a name no class has.
    script_value construct(const std::string& class_name, const std::vector<script_value>& arguments = {});
    // A member of an instance (of its class or a base), sharing its value; set_member gives it a copy of a
    // value of its own type. script_error for a member the instance lacks or a value of another type.
    script_value member(const script_value& object, const std::string& name);
    void set_member(const script_value& object, const std::string& name, const script_value& value);
    // Calls a method by name and the exact types of the arguments: a script class's, or a built-in one
    // (a vector's size). A script exception that leaves it is a script_error, as for call.
    script_value call_method(const script_value& object, const std::string& name,
                             const std::vector<script_value>& arguments = {}, const budget& limit = {});

    // The same calls for hosts built without exceptions (-fno-exceptions): nothing leaves them by a throw;
    // what the throwing twin throws comes back as the result's error. A native of such a host cannot
    // throw either; it refuses its arguments by returning a value the script checks.
    result<void> try_define_native(const std::string& name, native function) noexcept;
    result<void> try_compile_file(const std::string& path) noexcept;
    result<void> try_compile_string(const std::string& name, const std::string& utf8_text) noexcept;
    result<process_handle> try_start(const std::string& process, const std::vector<script_value>& arguments = {}) noexcept;
    result<bool> try_step(const budget& limit = {}) noexcept;
    result<bool> try_run_for(std::uint64_t passes, const budget& limit = {}) noexcept;
    result<void> try_run(const budget& limit = {}) noexcept;
    result<script_value> try_call(const std::string& function, const std::vector<script_value>& arguments = {},
                                  const budget& limit = {}) noexcept;
    result<script_value> try_global(const std::string& name) const noexcept;
    result<void> try_set_global(const std::string& name, const script_value& value) noexcept;

private:
    friend class process_handle;
    template <class T>
    friend class host_type;
    using host_method = std::function<script_value(void* object, const std::vector<script_value>& arguments)>;
    void define_host_type(const std::string& name, const void* key);
    void define_host_method(const void* key, const std::string& name, host_method function);
    void describe_host_type(const void* key, std::function<std::string(const void* object)> function);
    script_value make_host_object(const void* key, std::shared_ptr<void> object);
    struct impl;
    std::unique_ptr<impl> impl_;
};

template <class T>
host_type<T>& host_type<T>::method(const std::string& name,
                                   std::function<script_value(T&, const std::vector<script_value>&)> function)
{
    interpreter::host_method erased;
    if (function)
        erased = [f = std::move(function)](void* object, const std::vector<script_value>& arguments) {
            return f(*static_cast<T*>(object), arguments);
        };
    owner_->define_host_method(&detail::host_key<T>::id, name, std::move(erased));
    return *this;
}

template <class T>
host_type<T>& host_type<T>::describe(std::function<std::string(const T&)> function)
{
    std::function<std::string(const void*)> erased;
    if (function)
        erased = [f = std::move(function)](const void* object) { return f(*static_cast<const T*>(object)); };
    owner_->describe_host_type(&detail::host_key<T>::id, std::move(erased));
    return *this;
}

// Runs f to completion on a stack as large as the one the vorla program gives scripts (256 MiB of
// reserved address space), and rethrows what f throws. On a thread's usual stack deep script recursion
// ends early, with the diagnostic of the call depth reached, instead of at call_depth_limit.
void with_script_stack(const std::function<void()>& f);

} // namespace vorla
