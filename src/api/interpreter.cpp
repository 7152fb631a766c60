// The library's interpreter: a root namespace, its compiler, console and context behind the public API.
#include "vorla/vorla.hpp"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <cmath>
#include <iostream>
#include <limits>
#include <mutex>
#include <list>
#include <new>
#include <optional>
#include <type_traits>
#include <unordered_set>
#include <utility>
#include <variant>

#include "context.hpp"
#include "driver/console.hpp"
#include "driver/files.hpp"
#include "driver/native_kit.hpp"
#include "driver/natives.hpp"
#include "driver/system.hpp"
#include "driver/trace.hpp"
#include "exception.hpp"
#include "expression/signal.hpp"
#include "factor/boolean.hpp"
#include "factor/exception.hpp"
#include "factor/hash_.hpp"
#include "factor/host_value.hpp"
#include "factor/list_.hpp"
#include "factor/nil.hpp"
#include "factor/process_.hpp"
#include "factor/real.hpp"
#include "factor/signed_.hpp"
#include "factor/string_.hpp"
#include "factor/unsigned_.hpp"
#include "factor/vector_.hpp"
#include "lib/basic_filesystem.hpp"
#include "nspace.hpp"
#include "process.hpp"
#include "check/check.hpp"
#include "semantic/keywords.hpp"
#include "semantic/semantic.hpp"
#include "stack_guard.hpp"
#include "vm/compiler.hpp"
#include "vm/machine.hpp"

namespace vorla {

// The texts of an error: given when it is made, or made once from the interpreter's diagnostic. An error
// passed up through nested host calls is shared at each level, so joining the chain waits until someone
// reads it.
struct script_error::account {
    const void* owner = nullptr;
    std::shared_ptr<const vorla::exception> cause;  // null when the texts were given
    std::shared_ptr<const source_files> files;
    mutable std::once_flag made;
    mutable std::string text;
    mutable std::string report;

    const account& texts() const
    {
        std::call_once(made, [this] {
            if (!cause) return;
            text = cause->text();
            if (files && cause->trace()) report = format_report(*files, *cause->trace(), text);
        });
        return *this;
    }
};

// The one place that turns public handles into the interpreter's own and back.
struct value_access {
    static_assert(sizeof(value) <= sizeof(script_value::handle_) && alignof(value) <= alignof(void*),
                  "script_value has room for exactly one value handle");
    static value& of(script_value& v) { return *std::launder(reinterpret_cast<value*>(v.handle_)); }
    static const value& of(const script_value& v)
    {
        return *std::launder(reinterpret_cast<const value*>(v.handle_));
    }
    // A script_value around a handle; the empty handle never goes out (the caller makes nil instead).
    static script_value wrap(value v)
    {
        script_value out{script_value::uninitialized{}};
        new (out.handle_) value(std::move(v));
        return out;
    }
    // An error whose texts are made from the interpreter's diagnostic when first asked for. `owner` says
    // which interpreter's positions the diagnostic's account holds.
    static script_error error(const void* owner, const exception& cause, std::shared_ptr<const source_files> files,
                              std::string file, unsigned line, unsigned column)
    {
        auto a = std::make_shared<script_error::account>();
        a->owner = owner;
        a->cause = std::make_shared<exception>(cause);
        a->files = std::move(files);
        return script_error(std::move(a), std::move(file), line, column);
    }
    // The diagnostic behind an error of the interpreter `owner`, to be chained as it is; null for an
    // error of another interpreter or one made from given texts.
    static const exception* cause_from(const void* owner, const script_error& e)
    {
        return e.account_->owner == owner ? e.account_->cause.get() : nullptr;
    }
    static args of(const std::vector<script_value>& list)
    {
        args out;
        out.reserve(list.size());
        for (const script_value& v : list) out.push_back(of(v));
        return out;
    }
};

namespace {

value fresh_nil() { return make<nil>(); }

[[noreturn]] void wrong_kind(const char* wanted, const factor& found)
{
    throw std::invalid_argument(std::string("expected a value of type ") + wanted + ", got " + type_word(found) +
                                " " + found.describe());
}

template <class Class>
const Class& exactly(const value& v, type_id_t id, const char* wanted)
{
    if (v->type_id() != id) wrong_kind(wanted, *v);
    return static_cast<const Class&>(*v);
}

} // namespace

// ---- values --------------------------------------------------------------------------------------------

script_value::script_value() { new (handle_) value(fresh_nil()); }
script_value::script_value(const script_value& other) { new (handle_) value(value_access::of(other)); }
script_value::script_value(script_value&& other) noexcept { new (handle_) value(value_access::of(other)); }
script_value& script_value::operator=(const script_value& other)
{
    value_access::of(*this) = value_access::of(other);
    return *this;
}
// A moved-from script_value keeps sharing the value, never empty: every handle a host holds stays usable.
script_value& script_value::operator=(script_value&& other) noexcept
{
    value_access::of(*this) = value_access::of(other);
    return *this;
}
script_value::~script_value() { value_access::of(*this).~value(); }

value_kind script_value::kind() const noexcept
{
    switch (value_access::of(*this)->type_id()) {
    case tid::nil: return value_kind::nil;
    case tid::signed_: return value_kind::int_;
    case tid::unsigned_: return value_kind::uint_;
    case tid::float_: return value_kind::float_;
    case tid::double_: return value_kind::double_;
    case tid::boolean: return value_kind::bool_;
    case tid::string_: return value_kind::string;
    case tid::vector_: return value_kind::vector;
    case tid::hash_: return value_kind::hash;
    case tid::list_: return value_kind::list;
    default: return value_kind::other;
    }
}

std::string script_value::type_name() const { return type_word(*value_access::of(*this)); }
std::string script_value::describe() const { return value_access::of(*this)->describe(); }

int script_value::as_int() const
{
    const value v = value_access::of(*this);
    return static_cast<int>(exactly<signed_<int>>(v, tid::signed_, "int"));
}

unsigned int script_value::as_uint() const
{
    const value v = value_access::of(*this);
    return static_cast<unsigned int>(exactly<unsigned_<unsigned int>>(v, tid::unsigned_, "unsigned int"));
}

float script_value::as_float() const
{
    const value v = value_access::of(*this);
    return static_cast<float>(exactly<real<float>>(v, tid::float_, "float"));
}

double script_value::as_double() const
{
    const value v = value_access::of(*this);
    if (v->type_id() == tid::float_) return static_cast<double>(static_cast<float>(*v));
    return static_cast<double>(exactly<real<double>>(v, tid::double_, "double"));
}

bool script_value::as_bool() const
{
    const value v = value_access::of(*this);
    return static_cast<bool>(exactly<boolean>(v, tid::boolean, "bool"));
}

std::wstring script_value::as_wstring() const
{
    const value v = value_access::of(*this);
    return static_cast<std::wstring>(exactly<string_<wchar_t>>(v, tid::string_, "string"));
}

std::string script_value::as_string() const { return narrow(as_wstring()); }

std::vector<script_value> script_value::as_vector() const
{
    const value v = value_access::of(*this);
    std::vector<script_value> out;
    for (const value& e : exactly<vector_>(v, tid::vector_, "vector").elements()) out.push_back(value_access::wrap(e));
    return out;
}

std::vector<std::pair<script_value, script_value>> script_value::as_hash() const
{
    const value v = value_access::of(*this);
    std::vector<std::pair<script_value, script_value>> out;
    for (const auto& [key, item] : exactly<hash_>(v, tid::hash_, "hash").entries())
        out.emplace_back(value_access::wrap(key), value_access::wrap(item));
    return out;
}

std::vector<script_value> script_value::as_list() const
{
    const value v = value_access::of(*this);
    std::vector<script_value> out;
    for (const value& e : exactly<list_>(v, tid::list_, "list").elements()) out.push_back(value_access::wrap(e));
    return out;
}

namespace {

// A built-in method of a container the host changes, run as a script runs it: errors it raises in its
// script form (a range_error) reach the host as the standard exception of the same meaning.
value run_method(const value& target, const char* name, const args& given)
{
    const std::string method = name;
    try {
        return target->method(method_call<char>{given, method});
    } catch (const sig_throw&) {
        throw std::out_of_range(std::string(name) + ": index out of range, " + target->describe());
    }
}

} // namespace

void script_value::set(std::size_t index, const script_value& element)
{
    const value v = value_access::of(*this);
    exactly<vector_>(v, tid::vector_, "vector");
    if (index > std::numeric_limits<unsigned int>::max())
        throw std::out_of_range("set: index " + std::to_string(index) + " is out of range");
    run_method(v, "replace", {make<unsigned_<unsigned int>>(static_cast<unsigned int>(index)), value_access::of(element)});
}

bool script_value::insert(const script_value& key, const script_value& item)
{
    const value v = value_access::of(*this);
    exactly<hash_>(v, tid::hash_, "hash");
    return static_cast<bool>(*run_method(v, "insert", {value_access::of(key), value_access::of(item)}));
}

script_value make_nil() { return value_access::wrap(fresh_nil()); }
script_value make_int(int v) { return value_access::wrap(make<signed_<int>>(v)); }
script_value make_uint(unsigned int v) { return value_access::wrap(make<unsigned_<unsigned int>>(v)); }
script_value make_float(float v) { return value_access::wrap(make<real<float>>(v)); }
script_value make_double(double v) { return value_access::wrap(make<real<double>>(v)); }
script_value make_bool(bool v) { return value_access::wrap(make<boolean>(v)); }
script_value make_string(const std::wstring& v) { return value_access::wrap(make<string_<wchar_t>>(v)); }
script_value make_string(const std::string& utf8) { return make_string(widen(utf8)); }
script_value make_string(const char* utf8) { return make_string(widen(utf8 ? std::string(utf8) : std::string())); }

namespace {

// A vector or list of copies of the elements, as a script's push_back puts them.
template <class Sequence>
script_value make_sequence(const std::vector<script_value>& elements)
{
    const value made = make<Sequence>();
    for (const script_value& e : elements) run_method(made, "push_back", {value_access::of(e)});
    return value_access::wrap(made);
}

} // namespace

script_value make_vector(const std::vector<script_value>& elements) { return make_sequence<vector_>(elements); }
script_value make_list(const std::vector<script_value>& elements) { return make_sequence<list_>(elements); }

script_value make_hash(const std::vector<std::pair<script_value, script_value>>& entries)
{
    const value made = make<hash_>();
    for (const auto& [key, item] : entries) run_method(made, "insert", {value_access::of(key), value_access::of(item)});
    return value_access::wrap(made);
}

// ---- errors --------------------------------------------------------------------------------------------

script_error::script_error(const std::string& diagnostic, std::string report, std::string file, unsigned line,
                           unsigned column)
    : std::runtime_error(std::string()), file_(std::move(file)), line_(line), column_(column)
{
    auto a = std::make_shared<account>();
    a->text = diagnostic;
    a->report = std::move(report);
    account_ = std::move(a);
}

script_error::script_error(std::shared_ptr<const account> a, std::string file, unsigned line, unsigned column)
    : std::runtime_error(std::string()), account_(std::move(a)), file_(std::move(file)), line_(line), column_(column)
{
}

const char* script_error::what() const noexcept { return account_->texts().text.c_str(); }
const std::string& script_error::report() const noexcept { return account_->texts().report; }

// ---- the interpreter -----------------------------------------------------------------------------------

// Errors that leave host calls are reported under this name.
constexpr const char* host_call_name = "vorla::interpreter::call";

namespace {

// A relative script path that names an existing file where the host stands is compiled from there;
// anything else is left to the compiler's lookup in its include directories.
// Seconds of a budget as the clock counts them: beyond a century is as good as none, and stays inside
// the clock's range.
step_watch::clock::duration budget_duration(double seconds)
{
    seconds = std::clamp(seconds, 0.0, 100.0 * 365 * 24 * 3600);
    return std::chrono::duration_cast<step_watch::clock::duration>(std::chrono::duration<double>(seconds));
}

process& target_of(const script_value& handle)
{
    // A process of the vm is one too: the process object its fiber's process values stand for.
    return *static_cast<const process_<process>&>(*value_access::of(handle)).target();
}

// A process's name as scripts write it (the type-id manager knows it as "p?" + the name).
std::string shown_name(const process& p)
{
    std::string name = p.root->type_name(p.pid);
    if (name.rfind("p?", 0) == 0) name.erase(0, 2);
    return name;
}

std::wstring script_path(const std::string& given)
{
    std::wstring path = widen(given);
    if (path.empty() || path.front() == L'/') return path;
    std::error_code ec;
    const std::filesystem::path p(given);
    if (!std::filesystem::exists(p, ec) || std::filesystem::is_directory(p, ec)) return path;
    while (path.size() > 2 && path.compare(0, 2, L"./") == 0) path.erase(0, 2);
    return ::lib::basic_filesystem::make_absolute(path);
}

} // namespace

struct interpreter::impl {
    explicit impl(const interpreter_options& o)
        : console(o.output ? o.output->rdbuf() : std::cout.rdbuf(), o.input ? o.input->rdbuf() : std::cin.rdbuf(),
                  o.error_output ? o.error_output->rdbuf() : std::cerr.rdbuf()),
          space(state), compiler(space), use_vm(o.engine != interpreter_options::engine_choice::tree),
          may_fall_back(o.engine == interpreter_options::engine_choice::automatic)
    {
        state.call_limit = o.call_depth_limit;
        if (o.trace_fd >= 0) space.watch->observe(&trace.emplace(o.trace_fd, o.trace_line_by_line));
        if (o.step_budget) space.watch->limit_steps(*o.step_budget);
        if (o.time_budget && std::isnan(*o.time_budget))
            throw script_error("interpreter_options::time_budget is not a number", {}, {}, 0, 0);
        if (o.time_budget) space.watch->limit_time(budget_duration(*o.time_budget));
        for (const std::string& d : o.include_directories) compiler.include_directories.push_back(widen(d));
        compiler.keep_trees = o.keep_for_check;
        if (trace) trace->show_positions(compiler.files);
        compiler.confine = o.confine_includes;
        if (o.natives.console) driver::define_console_natives(space, console);
        if (o.natives.files) driver::define_file_natives(space);
        if (o.natives.system) driver::define_system_natives(space, [this](int status) { end_program(status); });
    }

    // using::exit: everything the run wrote goes out first; a loss of output makes the status 1, as at
    // the end of any run. Then the program ends at once, with no destructors: the run's values live on a
    // stack that is never unwound.
    [[noreturn]] void end_program(int status)
    {
        if (trace) trace->flush();
        console.out.flush();
        console.err.flush();
        if (console.out_buffer.failed()) {
            std::cerr << driver::lost_output_note(console.out_buffer.failure()) << '\n';
            status = 1;
        }
        std::cout.flush();
        std::cerr.flush();
        std::fflush(nullptr);
        std::_Exit(status);
    }

    // The compiled program and its processes, when the host asked for the vm.
    struct vm_run {
        // A program per host start (a session's inputs each start one), against the definitions and
        // globals of that moment; one lives while a process of it does.
        std::list<vm::program> programs;
        vm::processes fibers;
    };

    // The vm's form of start(): the definition compiled with everything it calls and starts, or why the vm
    // cannot run it yet (the first construct it met, and where), before anything runs. The handle holds
    // the fiber's process object, as a script's process value does.
    std::variant<process_handle, std::string> start_on_vm(interpreter* owner, const std::string& name,
                                                          const std::vector<script_value>& arguments)
    {
        const std::wstring wide = widen(name);
        // The same report as the tree interpreter's for a missing process.
        if (!space.types->contains(L"p?" + wide))
            throw exception("Unable to find key in unordered_map.").explain("no process named " + name);
        const type_id_t pid = space.types->find(L"p?" + wide);
        const args given = value_access::of(arguments);
        const table::routine* definition = space.processes->find(pid, given);
        // No definition takes these arguments: the tree interpreter's own report of it.
        if (!definition) space.start_process(pid, given);
        if (!definition) throw vm::fault("vm: a process the tree interpreter starts but the vm does not find");
        std::vector<vm::slot> passed;
        for (std::size_t k = 0; k < given.size(); ++k) {
            const value& v = given[k];
            // A parameter taken by reference shares the host's own value, as the tree interpreter binds it.
            if (definition->params[k].reference) {
                passed.push_back(vm::slot::of_value(v));
                continue;
            }
            passed.push_back(vm::unboxed(v));
        }
        vm::compiled c = vm::compile_process(space, *definition, name);
        if (c.refused) return c.refused->what + " at " + (compiler.files ? compiler.files->where(c.refused->at) : "?");
        // A held value is copied by its class as the tree interpreter's start copies it: a copy's
        // failure is the start's.
        wrap_failure([] { return nspace::start_failure(); }, [&] {
            for (std::size_t k = 0; k < passed.size(); ++k)
                if (passed[k].what() == vm::kind::object && !definition->params[k].reference)
                    passed[k] = vm::slot::of_value(passed[k].object()->clone());
            return 0;
        });
        if (!vm_) vm_.emplace();
        std::list<vm::program>& programs = vm_->programs;
        // The programs no live process runs on any more go.
        programs.remove_if([&](const vm::program& p) {
            return std::none_of(vm_->fibers.live.begin(), vm_->fibers.live.end(),
                                [&](const vm::fiber& f) { return &f.code() == &p; });
        });
        const vm::program& code = programs.emplace_back(std::move(c.code));
        vm::fiber& f = vm_->fibers.live.emplace_back(code, 0, ++vm_->fibers.started, vm::origin{}, std::move(passed));
        return process_handle(owner, value_access::wrap(make<process_<process>>(f.shown(pid, space))));
    }

    // Ends a process of the vm, as stop does a tree process.
    void stop_on_vm(vm::fiber& f)
    {
        if (f.finished()) return;
        f.stop();
        // A lone process running on into its next steps goes back to the scheduler, which drops it.
        if (passing) return space.watch->call_scheduler();
        vm_->fibers.live.remove_if([&f](const vm::fiber& g) { return &g == &f; });
    }

    [[noreturn]] static void refuse_on_vm(const std::string& what)
    {
        throw engine_refusal("the vm cannot run this program yet: " + what);
    }

    // At most n passes of the vm's processes; whether any is left. A process started in a pass is
    // appended to the list, and the pass reaches it, as the tree interpreter's does. Each step is counted
    // and shown to the trace by the same watch as the tree interpreter's steps.
    bool vm_passes(std::uint64_t n)
    {
        if (!vm_) return false;
        if (passing) throw VORLA_EXCEPTION("vorla::interpreter::passes", "the scheduler is already running");
        passing = true;
        const struct pass_end {
            bool& flag;
            std::chrono::steady_clock::time_point*& wake;
            // Whatever leaves the pass, no native called later (from a host's call) finds a fiber's wake time.
            ~pass_end()
            {
                flag = false;
                wake = nullptr;
            }
        } end{passing, space.fiber_wake};
        std::list<vm::fiber>& live = vm_->fibers.live;
        if (live.empty()) return false;
        // Each fiber runs on the machine of its program. One program is the common case: the newest's
        // machine is at hand, another's is made when a fiber of it comes (a host's earlier start).
        const vm::program* const newest = &vm_->programs.back();
        vm::machine main(*newest, state.call_limit, vm_->fibers);
        std::optional<vm::machine> other;
        const vm::program* other_of = nullptr;
        auto machine_of = [&](const vm::fiber& f) -> vm::machine& {
            if (&f.code() == newest) [[likely]] return main;
            if (&f.code() != other_of) other.emplace(*(other_of = &f.code()), state.call_limit, vm_->fibers);
            return *other;
        };
        step_watch& w = *space.watch;
        const vm::fiber* stepping = nullptr;
        // A napping pass's step of the fiber at f, which gives the next position. The plain pass below does
        // the same inline, where the scheduler's own cost counts.
        auto step_one = [&](std::list<vm::fiber>::iterator f) {
            if (f->finished()) return live.erase(f);
            w.before_step(*f);
            space.ctx->cycles.poll();
            stepping = &*f;
            space.fiber_wake = &f->wake_at();
            const bool more = machine_of(*f).step(*f);
            stepping = nullptr;
            return more ? std::next(f) : live.erase(f);
        };
        try {
            for (std::uint64_t pass = 0; pass < n && !live.empty(); ++pass) {
                w.begin_pass();
                if (space.naps) {
                    // The tree's napping pass: the sleepers are left out, and when all of them sleep the
                    // pass waits for the first to wake, so that a pass always steps one.
                    using clock = std::chrono::steady_clock;
                    for (bool stepped = false; !stepped && !live.empty();) {
                        const clock::time_point now = clock::now();
                        clock::time_point first_wake = clock::time_point::max();
                        for (auto f = live.begin(); f != live.end();) {
                            if (f->wake_at() > now && !f->finished()) {
                                first_wake = std::min(first_wake, f->wake_at());
                                ++f;
                                continue;
                            }
                            stepped = true;
                            f = step_one(f);
                        }
                        if (!stepped && !live.empty()) w.wait_until(first_wake);
                    }
                    continue;
                }
                for (auto f = live.begin(); f != live.end();) {
                    // A fiber whose step failed has ended (its frames are gone): it leaves at its next turn.
                    if (f->finished()) {
                        f = live.erase(f);
                        continue;
                    }
                    w.before_step(*f);
                    space.ctx->cycles.poll();  // between statements, as the tree's scheduler collects
                    stepping = &*f;
                    space.fiber_wake = &f->wake_at();  // until the next step or the pass's end: no native runs between
                    // A lone process runs its next passes' steps inside the machine while nothing is due
                    // between them (the watch says when a budget, the clock or the trace is, or that it slept).
                    std::uint64_t spare = live.size() == 1 ? n - pass - 1 : 0;
                    const std::uint64_t offered = spare;
                    const bool more = machine_of(*f).step(*f, spare);
                    pass += offered - spare;
                    stepping = nullptr;
                    f = more ? std::next(f) : live.erase(f);
                }
            }
        } catch (exception& e) {
            // A failed step is that process's, which has ended; a budget spent between steps is none's.
            if (stepping && e.script().stops_run) note_the_others_on_vm(e.script(), stepping);
            else if (!stepping) place_between_steps_on_vm(e);
            // The failed process leaves at once, finished for every process value of it.
            live.remove_if([stepping](const vm::fiber& f) { return &f == stepping; });
            throw;
        }
        return !live.empty();
    }

    // Where a live process of the vm stands between two steps, with the processes that started it.
    script_trace standing(const vm::fiber& f) const
    {
        script_trace t;
        t.where = f.standing();
        vm_->fibers.leave(f, t);
        return t;
    }

    void note_the_others_on_vm(script_trace& trace, const vm::fiber* met) const
    {
        for (const vm::fiber& f : vm_->fibers.live)
            if (&f != met && !f.finished()) trace.others.push_back(standing(f));
    }

    void place_between_steps_on_vm(exception& e) const
    {
        std::vector<script_trace> all;
        for (const vm::fiber& f : vm_->fibers.live)
            if (!f.finished()) all.push_back(standing(f));
        place_at_first_known(e, std::move(all));
    }

    std::size_t vm_live() const
    {
        if (!vm_) return 0;
        return static_cast<std::size_t>(std::count_if(vm_->fibers.live.begin(), vm_->fibers.live.end(),
                                                      [](const vm::fiber& f) { return !f.finished(); }));
    }

    bool any_passes(std::uint64_t n) { return use_vm ? vm_passes(n) : passes(n); }

    // The context first, so that it outlives everything holding the names it interned.
    context state;
    driver::console console;
    std::optional<driver::trace_writer> trace;
    nspace space;
    semantic<wchar_t> compiler;
    bool use_vm;
    // Whether a start the vm refuses goes to the tree interpreter instead (while no vm process is live).
    bool may_fall_back;
    // Natives the host defined: the checker knows the argument counts of the built-in ones only.
    std::unordered_set<std::wstring> host_natives;
    // After the namespace: the program holds handles on its global variables.
    std::optional<vm_run> vm_;

    // The public error for a diagnostic: its text, and when the script's view of it is known, the report
    // for people and the position.
    script_error error_of(const std::exception& e) const
    {
        const auto* d = dynamic_cast<const exception*>(&e);
        if (!d) return script_error(plain_what(e), {}, {}, 0, 0);
        const script_trace* t = d->trace();
        std::string file;
        source_files::line_col at;
        if (t && t->where.known() && compiler.files) {
            file = compiler.files->path(t->where.file);
            at = compiler.files->locate(t->where);
        }
        return value_access::error(this, *d, t ? compiler.files : nullptr, std::move(file),
                                   static_cast<unsigned>(at.line), static_cast<unsigned>(at.column));
    }

    // Runs f as this interpreter's own: its context current, every error leaving as a script_error.
    template <class F>
    auto guarded(F&& f) -> decltype(f())
    {
        const context::entry running(state);
        try {
            return f();
        } catch (const script_error&) {
            throw;
        } catch (const engine_refusal&) {
            throw;
        } catch (const std::exception& e) {
            throw error_of(e);
        } catch (...) {
            // Script control flow that escaped every handler: a fault of the interpreter, reported as
            // a diagnostic rather than left to crash the host.
            throw error_of(VORLA_EXCEPTION("vorla::interpreter", "unexpected exception"));
        }
    }

    // At most n scheduler passes; returns whether any process is left. A process whose step fails is in
    // no state to go on: it is dropped, so that a host that carries on after the error runs the others.
    bool passes(std::uint64_t n)
    {
        // A native that steps the scheduler from inside a pass would end processes, and free frames, that
        // the pass around it is still running.
        if (passing) throw VORLA_EXCEPTION("vorla::interpreter::passes", "the scheduler is already running");
        passing = true;
        const struct pass_end {
            bool& flag;
            ~pass_end() { flag = false; }
        } end{passing};
        const nspace::process_list& live = *space.live;
        try {
            space.run_passes(n);
        } catch (exception& e) {
            if (process* p = std::exchange(space.failed, nullptr)) {
                if (e.script().stops_run) note_the_others(e.script(), p);
                drop(*p);
            } else {
                place_between_steps(e);
            }
            throw;
        } catch (...) {
            if (process* p = std::exchange(space.failed, nullptr)) drop(*p);
            throw;
        }
        return !live.empty();
    }

    // Takes a process off the scheduler's list, finished for every handle on it.
    void drop(process& p)
    {
        p.stopped = true;
        space.live->remove_if([&p](const auto& entry) { return entry.get() == &p; });
    }

    // Where a live process stands between two steps, with the processes that started it.
    script_trace standing(const process& p) const
    {
        script_trace t;
        if (const control* next = p.frame ? p.frame->active() : nullptr) t.where = next->pos;
        p.leave(t);
        return t;
    }

    // A budget spent or an interrupt stops every process: the report says where each one other than
    // `met` (the one it met, if any) stood.
    void note_the_others(script_trace& trace, const process* met) const
    {
        for (const auto& p : *space.live)
            if (p.get() != met && !p->finished()) trace.others.push_back(standing(*p));
    }

    // An error between two steps (a budget spent, an interrupt) is no process's: none is dropped, the
    // error is placed where the first process stands, and the report says where each other one stands.
    void place_between_steps(exception& e) const
    {
        std::vector<script_trace> all;
        for (const auto& p : *space.live)
            if (!p->finished()) all.push_back(standing(*p));
        place_at_first_known(e, std::move(all));
    }

    // Either engine's processes, where each live one stands in start order: e is placed where the first
    // with a known place stands, and each other one is noted. Nothing is placed when none is known.
    static void place_at_first_known(exception& e, std::vector<script_trace> all)
    {
        const auto first = std::find_if(all.begin(), all.end(), [](const script_trace& t) { return t.where.known(); });
        if (first == all.end()) return;
        script_trace& trace = e.script();
        trace.where = first->where;
        trace.frames = std::move(first->frames);
        trace.awaiting_site = false;
        for (auto t = all.begin(); t != all.end(); ++t)
            if (t != first) trace.others.push_back(std::move(*t));
    }

    // Runs f under the budget of one host call, when it sets one.
    template <class F>
    auto budgeted(const budget& b, F&& f) -> decltype(f())
    {
        if (!b.steps && !b.seconds) return f();
        if (b.seconds && std::isnan(*b.seconds))
            throw VORLA_EXCEPTION("vorla::interpreter::budget", "budget seconds is not a number");
        std::optional<step_watch::clock::duration> time;
        if (b.seconds) time = budget_duration(*b.seconds);
        step_watch& w = *space.watch;
        const struct restore {
            step_watch& w;
            step_watch::call_limits saved;
            ~restore() { w.end_call(saved); }
        } r{w, w.begin_call(b.steps, time)};
        return f();
    }

    // Ends a process at a step boundary. Inside a pass the scheduler drops it at its next turn (a native
    // may be stopping the very process whose step is running); outside, it goes now.
    void stop(process& p)
    {
        if (vm_)
            for (vm::fiber& f : vm_->fibers.live)
                if (f.shows(p)) return stop_on_vm(f);
        if (p.finished()) return;
        p.stopped = true;
        if (passing) return;
        p.frame.reset();  // before the list lets go of the process, which may be its last holder
        drop(p);
    }

    // A script exception that left a host call, to the host an error of that call (`what`, as a report's
    // call stack names it).
    [[noreturn]] static void escaped_throw(const value& thrown, trace_ptr trace, std::string what)
    {
        const std::string text = thrown->describe();
        exception e = VORLA_EXCEPTION(host_call_name, "catch unexpected throw ") << text;
        e.adopt(std::move(trace));
        e.explain("nothing caught the exception " + text);
        e.script().leave(std::move(what));
        throw e;
    }
    // Runs script code the host asked for outside every script statement (a constructor, the copies of a
    // start's arguments): a throw from it has no script around it to catch it. `kind` and `name` name the
    // call in the report.
    template <class F>
    static auto uncaught(const char* kind, const std::string& name, F&& f) -> decltype(f())
    {
        try {
            return f();
        } catch (sig_throw& t) {
            escaped_throw(t.v, std::move(t.trace), kind + name);
        }
    }
    // A signal waiting in `out` after a call that yielded nothing: a throw, break or continue.
    [[noreturn]] static void escaped(script_signal& out, std::string what)
    {
        if (out.kind == flow::thr) {
            trace_ptr trace = out.take_trace();
            escaped_throw(out.take(), std::move(trace), std::move(what));
        }
        throw VORLA_EXCEPTION(host_call_name, out.kind == flow::brk ? "catch unexpected break" : "catch unexpected continue");
    }

    // Assigns as a script's `target = given;` does, after the exact-type check; `name` says what is assigned.
    static void assign_exactly(value& target, const value& given, const std::string& name)
    {
        if (target->type_id() != given->type_id())
            throw exception(VORLA_EXCEPTION("vorla::interpreter::assign", "value of another type, id=")
                            << name << " value=" << given->describe())
                .explain(name + " is " + type_word(*target) + ", not " + type_word(*given));
        target->operator=(given);
    }

    value* global_slot(const std::string& name)
    {
        value* slot = space.global.variables.find(state.intern(widen(name)));
        if (!slot || !*slot)
            throw exception(VORLA_EXCEPTION("vorla::interpreter::global", "no global variable named ") << name)
                .explain("no global variable named " + name);
        return slot;
    }

    // Why scripts could not write `name` as a type or method name, or null when they can.
    static const char* unusable_type_name(const std::string& name)
    {
        const bool first_ok = !name.empty() && (std::isalpha(static_cast<unsigned char>(name[0])) || name[0] == '_');
        const bool rest_ok = std::all_of(name.begin(), name.end(),
                                         [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
        if (!first_ok || !rest_ok) return "it is not an identifier";
        if (detail::semantic::reserved(widen(name))) return "it is a keyword";
        return nullptr;
    }

    // The host type registered for a C++ type, or null.
    std::shared_ptr<host_class> host_class_of(const void* key) const
    {
        for (const auto& [id, cls] : *space.host_types)
            if (cls->key == key) return cls;
        return nullptr;
    }
    // The same, refused when `call` meets a C++ type never defined.
    std::shared_ptr<host_class> host_class_named(const void* key, const char* call) const
    {
        if (auto cls = host_class_of(key)) return cls;
        throw exception(VORLA_EXCEPTION("vorla::interpreter::host_type", "undefined host type"))
            .explain(std::string(call) + ": the C++ type was never defined as a host type (define_type)");
    }

    bool passing = false;  // a scheduler pass is running
};

interpreter::interpreter(interpreter_options options) : impl_(std::make_unique<impl>(options)) {}

// The trace's last lines are written when it is destroyed, after everything that ran.
interpreter::~interpreter() = default;

namespace {

// How diagnostics name host code a script calls: `shown` as the function of a diagnostic line ("frame",
// "sprite::move"), `called` as the script calls it ("using::frame", "sprite.move"), `what` its kind.
struct host_code_name {
    std::string shown;
    std::string called;
    const char* what;
};

// Runs host code a script called (a native, a method of a host type) on public handles of the
// arguments, and turns what it throws into the script's terms. `owner` is the interpreter, whose own
// errors from a call back into it keep their account.
template <class F>
value run_host_code(const host_code_name& n, const void* owner, const args& v, F&& f)
{
    try {
        std::vector<script_value> given;
        given.reserve(v.size());
        for (const value& a : v) given.push_back(value_access::wrap(a));
        return value_access::of(f(given));
    } catch (const script_throw& t) {
        // Raised in the script as a built-in raises it, where the script's handlers can catch it.
        if (t.which() == script_throw::kind::range_error) throw_range_error(n.what, n.called, 0, t.what());
        auto reason = std::make_shared<script_trace>();
        reason->message = t.what();
        throw_bad_cast(n.what, n.called, 0, std::move(reason));
    } catch (const script_error& e) {
        // An error of a call back into this interpreter keeps its account (its position, its stack) and
        // is shared rather than copied: natives nested thousands deep stay linear.
        exception failed = VORLA_EXCEPTION(n.shown.c_str(), "catch exception");
        if (const exception* inner = value_access::cause_from(owner, e)) throw failed << *inner;
        throw failed << e;
    } catch (const std::exception& e) {
        // Its text is the plain account too, which a method's caller would otherwise word as a miss.
        throw (exception(VORLA_EXCEPTION(n.shown.c_str(), "catch exception")) << e).explain(e.what());
    } catch (...) {
        // Something a host library threw that names no reason; the script still gets its position.
        throw VORLA_EXCEPTION(n.shown.c_str(), std::string(n.what) + " failure: the " + n.what +
                                                   " threw an exception that is not a std::exception")
            .explain(std::string("the ") + n.what + " " + n.shown + " failed with an exception that is not a std::exception");
    }
}

} // namespace

void interpreter::define_native(const std::string& name, native function)
{
    if (!function) throw std::invalid_argument("define_native: the native '" + name + "' has no function");
    impl_->guarded([&] {
        const impl* owner = impl_.get();
        impl_->host_natives.insert(widen(name));
        impl_->space.natives->define(
            widen(name), [n = host_code_name{name, "using::" + name, "native"}, owner, f = std::move(function)](args& v) {
                return run_host_code(n, owner, v, f);
            });
    });
}

// ---- host types ----------------------------------------------------------------------------------------

void interpreter::define_host_type(const std::string& name, const void* key)
{
    impl_->guarded([&] {
        const char* why = impl::unusable_type_name(name);
        if (!why && impl_->host_class_of(key)) why = "its C++ type is defined already, as another host type";
        if (!why && impl_->space.types->contains(widen(name))) why = "the program has a type of that name already";
        if (why)
            throw exception(VORLA_EXCEPTION("vorla::interpreter::define_type", "host type refused, id=") << name)
                .explain("the host type '" + name + "' cannot be defined: " + why);
        impl_->space.define_host_type(widen(name), key);
    });
}

void interpreter::define_host_method(const void* key, const std::string& name, host_method function)
{
    impl_->guarded([&] {
        host_class& cls = *impl_->host_class_named(key, "define_type");
        const auto refuse = [&](const std::string& why) {
            throw exception(VORLA_EXCEPTION("vorla::interpreter::define_type", "host method refused, id=")
                            << cls.name << "." << name)
                .explain("the method " + cls.name + "." + name + " cannot be defined: " + why);
        };
        if (!function) refuse("it has no function");
        if (impl::unusable_type_name(name)) refuse("scripts could not call it by that name");
        if (cls.methods.count(widen(name))) refuse("the type has a method of that name already");
        const impl* owner = impl_.get();
        cls.methods.emplace(widen(name), std::make_shared<const host_class::method>(
            [n = host_code_name{cls.name + "::" + name, cls.name + "." + name, "method"}, owner,
             f = std::move(function)](void* object, const args& v) {
                return run_host_code(n, owner, v, [&](const std::vector<script_value>& given) { return f(object, given); });
            }));
    });
}

void interpreter::describe_host_type(const void* key, std::function<std::string(const void*)> function)
{
    impl_->guarded([&] {
        host_class& cls = *impl_->host_class_named(key, "define_type");
        if (!function) {
            cls.describe = nullptr;
            return;
        }
        // Descriptions are made while errors are reported, where a throw would hide the error itself.
        cls.describe = [f = std::move(function)](const void* object) {
            try {
                return f(object);
            } catch (const std::exception& e) {
                return std::string("describe failed: ") + e.what();
            }
        };
    });
}

script_value interpreter::make_host_object(const void* key, std::shared_ptr<void> object)
{
    return impl_->guarded([&] {
        const std::shared_ptr<host_class> cls = impl_->host_class_named(key, "make_object");
        if (!object)
            throw exception(VORLA_EXCEPTION("vorla::interpreter::make_object", "null object, type=") << cls->name)
                .explain("make_object was given no object for the host type " + cls->name);
        return value_access::wrap(make<host_value>(cls, std::move(object)));
    });
}

namespace detail {

std::shared_ptr<void> host_pointer(const script_value& v, const void* key)
{
    const value& held = value_access::of(v);
    const auto* object = dynamic_cast<const host_value*>(held.get());
    if (!object || !object->object())
        throw std::invalid_argument("expected a host object, got " + type_word(*held) + " " + held->describe());
    if (object->cls().key != key)
        throw std::invalid_argument("expected a host object of another C++ type, got " + held->describe());
    return object->object();
}

} // namespace detail

void interpreter::compile_file(const std::string& path)
{
    impl_->guarded([&] { impl_->compiler.compile(script_path(path), path); });
}

void interpreter::compile_string(const std::string& name, const std::wstring& text, long first_line)
{
    impl_->guarded([&] {
        semantic<wchar_t>::dir_stack dirs;
        impl_->compiler.compile_str(text, dirs, name, first_line);
    });
}

void interpreter::compile_statements(const std::string& name, const std::string& utf8_statements)
{
    static constexpr std::wstring_view head = L"process main() {\n";
    // After a line end: a comment on the last line does not swallow the brace.
    static constexpr std::wstring_view tail = L"\n}\n";
    impl_->guarded([&] {
        std::wstring text(head);
        text += decode_utf8(utf8_statements);
        text += tail;
        semantic<wchar_t>::dir_stack dirs;
        impl_->compiler.compile_str(std::move(text), dirs, name, 1, head.size(), tail.size());
    });
}

std::vector<check_finding> interpreter::check() const
{
    if (!impl_->compiler.keep_trees)
        throw script_error("check() needs interpreter_options::keep_for_check", {}, {}, 0, 0);
    check::program program;
    for (const auto& kept : impl_->compiler.trees) program.files.push_back({kept.file, &kept.tree});
    for (const std::wstring& name : impl_->space.natives->names()) {
        check::native_signature n{name, {}};
        // A host's own native of a built-in's name checks its arguments itself.
        if (!impl_->host_natives.count(name))
            if (const auto builtin = driver::builtin_native(narrow(name))) n.counts = {{builtin->min_args, builtin->max_args}};
        program.natives.push_back(std::move(n));
    }
    std::vector<check_finding> out;
    for (const check::finding& f : check::check_program(program)) {
        const source_files& files = *impl_->compiler.files;
        const auto at = files.locate(f.at);
        out.push_back({f.level == check::severity::error, f.message, files.path(f.at.file), static_cast<unsigned>(at.line),
                       static_cast<unsigned>(at.column), check::format_finding(files, f)});
    }
    return out;
}

void interpreter::compile_string(const std::string& name, const std::string& utf8_text, long first_line)
{
    compile_string(name, decode_utf8(utf8_text), first_line);
}

process_handle interpreter::start(const std::string& process, const std::vector<script_value>& arguments)
{
    if (impl_->use_vm) {
        auto started =
            impl_->guarded([&] { return impl::uncaught("start of process ", process, [&] { return impl_->start_on_vm(this, process, arguments); }); });
        if (auto* handle = std::get_if<process_handle>(&started)) return *handle;
        // Processes of both engines never run side by side.
        if (!impl_->may_fall_back || (impl_->vm_ && !impl_->vm_->fibers.live.empty()))
            impl_->refuse_on_vm(std::get<std::string>(started));
        impl_->use_vm = false;  // from here on every process runs on the tree interpreter
    }
    return impl_->guarded([&] {
        const std::wstring name = widen(process);
        // The diagnostic keeps the map's own text, as the vorla program prints it for a missing main; the
        // report says what is missing.
        if (!impl_->space.types->contains(L"p?" + name))
            throw exception("Unable to find key in unordered_map.").explain("no process named " + process);
        return impl::uncaught("start of process ", process, [&] {
            return process_handle(this, value_access::wrap(impl_->space.start_process(name, value_access::of(arguments))));
        });
    });
}

bool interpreter::step(const budget& limit)
{
    return impl_->guarded([&] { return impl_->budgeted(limit, [&] { return impl_->any_passes(1); }); });
}

bool interpreter::run_for(std::uint64_t passes, const budget& limit)
{
    return impl_->guarded([&] { return impl_->budgeted(limit, [&] { return impl_->any_passes(passes); }); });
}

void interpreter::run(const budget& limit)
{
    impl_->guarded([&] { impl_->budgeted(limit, [&] { impl_->any_passes(std::numeric_limits<std::uint64_t>::max()); }); });
}

script_value interpreter::global(const std::string& name) const
{
    return impl_->guarded([&] { return value_access::wrap(*impl_->global_slot(name)); });
}

void interpreter::set_global(const std::string& name, const script_value& v)
{
    impl_->guarded([&] {
        impl::assign_exactly(*impl_->global_slot(name), value_access::of(v), "the global " + name);
    });
}

// ---- process handles -----------------------------------------------------------------------------------

std::uint32_t process_handle::id() const { return target_of(process_).serial; }

std::string process_handle::name() const { return shown_name(target_of(process_)); }

bool process_handle::finished() const { return target_of(process_).finished(); }

void process_handle::stop() { owner_->impl_->guarded([&] { owner_->impl_->stop(target_of(process_)); }); }

std::vector<std::string> interpreter::process_signatures(const std::string& name) const
{
    return impl_->space.process_signatures(widen(name));
}

std::size_t interpreter::processes() const
{
    if (impl_->use_vm) return impl_->vm_live();
    return impl_->space.live->size();
}

void interpreter::interrupt() noexcept { impl_->space.watch->interrupt(); }

void interpreter::stop_processes()
{
    impl_->guarded([&] {
        // A copy: each one stopped leaves the list.
        const std::vector<std::shared_ptr<process>> live(impl_->space.live->begin(), impl_->space.live->end());
        for (const auto& p : live) impl_->stop(*p);
        if (impl_->vm_) {
            std::vector<vm::fiber*> fibers;
            for (vm::fiber& f : impl_->vm_->fibers.live) fibers.push_back(&f);
            for (vm::fiber* f : fibers) impl_->stop_on_vm(*f);
        }
    });
}

script_value interpreter::call(const std::string& function, const std::vector<script_value>& arguments,
                               const budget& limit)
{
    return impl_->guarded([&] { return impl_->budgeted(limit, [&] {
        const args given = value_access::of(arguments);
        const symbol name = impl_->state.intern(widen(function));
        script_signal out;
        value result = impl_->space.call_function(name, given, out);
        if (result) return value_access::wrap(std::move(result));
        impl::escaped(out, impl_->space.call_description(name, given));
    }); });
}

script_value interpreter::construct(const std::string& class_name, const std::vector<script_value>& arguments)
{
    return impl_->guarded([&] {
        const std::wstring name = widen(class_name);
        nspace& space = impl_->space;
        if (!space.types->contains(name) || space.classes->find(space.types->find(name)) == space.classes->end())
            throw exception(VORLA_EXCEPTION("vorla::interpreter::construct", "no class named ") << name)
                .explain("no class named " + class_name);
        const args given = value_access::of(arguments);
        return impl::uncaught("constructor ", class_name,
                              [&] { return value_access::wrap(space._generate(space.types->find(name), given)); });
    });
}

script_value interpreter::member(const script_value& object, const std::string& name)
{
    return impl_->guarded([&] { return value_access::wrap(value_access::of(object)->member(widen(name))); });
}

void interpreter::set_member(const script_value& object, const std::string& name, const script_value& v)
{
    impl_->guarded([&] {
        value target = value_access::of(object)->member(widen(name));
        impl::assign_exactly(target, value_access::of(v), "the member " + name);
    });
}

script_value interpreter::call_method(const script_value& object, const std::string& name,
                                      const std::vector<script_value>& arguments, const budget& limit)
{
    return impl_->guarded([&] { return impl_->budgeted(limit, [&] {
        const args given = value_access::of(arguments);
        const std::wstring method = widen(name);
        script_signal out;
        value target = value_access::of(object);
        value result = target->method(method_call<wchar_t>{.v = given, .name = method, .out = &out, .ctx = &impl_->state});
        if (result) return value_access::wrap(std::move(result));
        impl::escaped(out, "method " + target->describe() + "." + name);
    }); });
}

// ---- without exceptions --------------------------------------------------------------------------------

namespace {

// Runs a throwing call and hands back what it returned or threw.
template <class F>
auto attempt(F&& f) noexcept -> result<decltype(f())>
{
    using T = decltype(f());
    try {
        if constexpr (std::is_void_v<T>) {
            f();
            return result<void>();
        } else {
            return result<T>(f());
        }
    } catch (const script_error& e) {
        return result<T>(e);
    } catch (const std::exception& e) {
        return result<T>(script_error(plain_what(e), {}, {}, 0, 0));
    }
}

} // namespace

result<void> interpreter::try_define_native(const std::string& name, native function) noexcept
{
    return attempt([&] { define_native(name, std::move(function)); });
}
result<void> interpreter::try_compile_file(const std::string& path) noexcept
{
    return attempt([&] { compile_file(path); });
}
result<void> interpreter::try_compile_string(const std::string& name, const std::string& utf8_text) noexcept
{
    return attempt([&] { compile_string(name, utf8_text); });
}
result<process_handle> interpreter::try_start(const std::string& process, const std::vector<script_value>& arguments) noexcept
{
    return attempt([&] { return start(process, arguments); });
}
result<bool> interpreter::try_step(const budget& limit) noexcept
{
    return attempt([&] { return step(limit); });
}
result<bool> interpreter::try_run_for(std::uint64_t passes, const budget& limit) noexcept
{
    return attempt([&] { return run_for(passes, limit); });
}
result<void> interpreter::try_run(const budget& limit) noexcept
{
    return attempt([&] { run(limit); });
}
result<script_value> interpreter::try_call(const std::string& function, const std::vector<script_value>& arguments,
                                           const budget& limit) noexcept
{
    return attempt([&] { return call(function, arguments, limit); });
}
result<script_value> interpreter::try_global(const std::string& name) const noexcept
{
    return attempt([&] { return global(name); });
}
result<void> interpreter::try_set_global(const std::string& name, const script_value& value) noexcept
{
    return attempt([&] { set_global(name, value); });
}

void with_script_stack(const std::function<void()>& f) { run_on_stack(script_stack_bytes, f); }

} // namespace vorla
