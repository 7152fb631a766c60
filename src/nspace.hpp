// The namespace: home of a compiled program (or class), and the hub for functions, natives, types and processes.
#pragma once

#include <chrono>
#include <cstdint>
#include <limits>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "context.hpp"
#include "factor/host_value.hpp"
#include "idm.hpp"
#include "lib/hash.hpp"
#include "nlookup.hpp"
#include "step_watch.hpp"
#include "table/function.hpp"
#include "table/inline_.hpp"
#include "table/native.hpp"
#include "table/process.hpp"

namespace vorla {

class object;
class process;

// What one call site's last successful call found: the definition, and every function table the search
// went through to reach it (innermost first, each with its stamp). The next call from a namespace chain
// showing the same tables with the same stamps, with arguments of the definition's exact types, runs
// the same definition without searching: nothing that decides the search can have changed.
struct call_site {
    static constexpr unsigned max_depth = 4;  // a search further out than this is not remembered
    struct passed {
        const table::function* functions = nullptr;
        std::uint64_t stamp = 0;
    };
    const table::routine* routine = nullptr;
    unsigned depth = 0;  // the defining table is path[depth]
    passed path[max_depth];
};

class nspace {
public:
    using class_table = lib::hash<type_id_t, std::shared_ptr<object>>;
    using process_list = std::list<std::shared_ptr<process>>;

    explicit nspace(context& ctx);   // the root of a program run in ctx: every table new
    explicit nspace(nspace* parent); // shares the class table, natives, process list and type ids
    // Borrows every table of `like` (handles that count no holders), its parent and its global scope's
    // parent: an instance's part has its class's, and the part keeps its class alive, which owns them.
    // Counted copies cost eleven atomic counts up and down per instance.
    struct borrowing_t {};
    nspace(const nspace& like, borrowing_t);
    nspace(const nspace&) = delete;
    nspace& operator=(const nspace&) = delete;
    virtual ~nspace();

    std::wstring name;
    nspace* parent;
    scope global;  // variables only; its parent is the parent namespace's global scope
    std::shared_ptr<class_table> classes;
    std::shared_ptr<table::process> processes;
    std::shared_ptr<table::function> functions;
    std::shared_ptr<table::inline_> inlines;
    std::shared_ptr<table::native> natives;
    std::shared_ptr<process_list> live;
    std::shared_ptr<idm<wchar_t>> types;
    // The types a host registered (factor/host_value.hpp), named in the type-id manager like classes.
    std::shared_ptr<host_class_table> host_types;
    step_watch* watch;  // one per program, owned by the root: budgets and the trace
    // The interpreter's context (context.hpp), shared by every namespace of the program: the root is
    // given it, and each namespace below takes its parent's.
    context* ctx;
    std::uint32_t serials = 0;  // identity numbers handed out so far (kept on the root)
    // Script handlers (try statements, conversions) whose protected part is running on the current stack
    // (kept on the root): a throw raised while none runs can only end the run, so only then does it
    // gather its account on the way out.
    unsigned handlers_running = 0;
    process* running = nullptr; // the process taking its step (kept on the root): it starts the ones started now
    // The process whose step raised the error that ended the last pass early (kept on the root); null
    // when no pass has failed since the host last cleared it.
    process* failed = nullptr;
    // Set (on the root) once a process has slept: from then on every pass looks at the clock to leave out
    // the sleepers, and a pass that finds them all asleep waits for the first to wake.
    bool naps = false;
    // The wake time of the vm's process taking its step (kept on the root), which using::sleep sets as it
    // sets a tree process's: the vm's processes are fibers, not `process` objects. Null outside the vm's
    // scheduler passes.
    std::chrono::steady_clock::time_point* fiber_wake = nullptr;

    nspace* root() noexcept;

    // Classes: the class object (object.hpp) is made under a new id from the type-id manager.
    std::shared_ptr<object> define_object(const std::wstring& class_name);
    std::shared_ptr<object> get_object(type_id_t id) const;
    type_id_t find_typeid(const std::wstring& type_name) const;
    // A host type under a new id; refused for a name the program has already.
    std::shared_ptr<host_class> define_host_type(const std::wstring& type_name, const void* cpp_key);

    // Values by type id: unconstructed, and constructed from nothing, one value or an argument vector.
    value create_instance(type_id_t id);
    value _generate(type_id_t id);
    value _generate(type_id_t id, const value& v);
    value _generate(type_id_t id, const args& v);

    // Calls. A signal crossing the call waits in `out` and the call yields an empty handle; without a
    // slot to report to, it is raised in its C++ form (expression/signal.hpp).
    value call_function(symbol name, const args& v, script_signal& out);
    value call_function(symbol name, const args& v);
    // The same for a call site of the script, which remembers what it found (see call_site). Inline for
    // the common case, a call of a function of this very namespace that the site found before.
    value call_function(symbol name, std::span<const value> v, script_signal& out, call_site& site)
    {
        // The table is checked before the remembered definition is touched: only an unchanged table
        // guarantees it still exists.
        const table::routine* r = site.routine;
        if (r && site.depth == 0 && functions.get() == site.path[0].functions &&
            functions->stamp() == site.path[0].stamp && table::matches(r->params, v)) {
            runtime rt{&global, this, out};
            return table::function::invoke(*r, v, rt);
        }
        return call_remembered(name, v, out, site);
    }
    // How an error report names the call of call_function(name, v): "function f(int)", or "method C::f(int)"
    // when the innermost namespace with that signature is a class.
    std::string call_description(symbol name, const args& v);
    value call_native(const std::wstring& native_name, args& v);
    scope_ptr expand_inline(symbol name, const args& v);

    // Processes.
    // `at` is the statement that starts it (unknown for the first process).
    value start_process(type_id_t pid, const args& v, script_pos at = {});
    // The line a failed start is reported under (the vm's starts report it too).
    static exception start_failure();
    value start_process(const std::wstring& process_name, const args& v);  // start by name ("p?" + name)
    scope_ptr process_definition(type_id_t pid, const args& v);
    // One scheduler pass over the process list (call on the root).
    void schedule();
    // At most n passes, each counted by the watch (step_watch::begin_pass), while any process is live
    // (call on the root).
    void run_passes(std::uint64_t n);

    // The name the type-id manager has for an id (narrowed), or its number when it has none.
    std::string type_name(type_id_t id) const;
    // A call as a person reads it: "name(int, string)".
    std::string call_signature(const std::string& routine, const args& v) const;
    // Each definition of a process of this namespace by the types it takes: "main(string, int)".
    std::vector<std::string> process_signatures(const std::wstring& process_name) const;

private:
    // A type as signatures show it: "unsigned int", "string", a class name.
    std::string shown_type(type_id_t id) const;
    // call_function of a site for every case but the inline one.
    value call_remembered(symbol name, std::span<const value> v, script_signal& out, call_site& site);
    void pass(process_list& list, step_watch& w);
    // A pass that leaves out sleeping processes; when all of them sleep, it waits for the first to wake.
    void napping_pass(process_list& list, step_watch& w);
    // Steps the process at `it` and gives the next position (the process is dropped when it is finished).
    process_list::iterator step_one(process_list& list, process_list::iterator it, step_watch& w);
    // The report of a call no namespace of the `levels` searched can take.
    [[noreturn, gnu::cold]] void no_function(symbol name, const args& v, std::size_t levels);

    std::unique_ptr<step_watch> own_watch_;  // the root's; children borrow it, as they never outlive the root
};

} // namespace vorla
