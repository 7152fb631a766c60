// The namespace: sharing between a program and its classes, type creation, calls, process start and the scheduler.
#include "nspace.hpp"

#include <algorithm>
#include <chrono>
#include <stdexcept>

#include "expression/signal.hpp"
#include "factor/boolean.hpp"
#include "factor/exception.hpp"
#include "factor/hash_.hpp"
#include "factor/instance.hpp"
#include "factor/list_.hpp"
#include "factor/nil.hpp"
#include "factor/process_.hpp"
#include "factor/real.hpp"
#include "factor/ref.hpp"
#include "factor/signed_.hpp"
#include "factor/string_.hpp"
#include "factor/timer.hpp"
#include "factor/typeid_.hpp"
#include "factor/unsigned_.hpp"
#include "factor/vector_.hpp"
#include "expression/signal.hpp"
#include "process.hpp"

namespace vorla {

namespace {
#define VORLA_NSPACE "vorla::nspace<wchar_t,class vorla::process<wchar_t> >::"
constexpr const char* define_object_name = VORLA_NSPACE "define_object";
constexpr const char* get_object_name = VORLA_NSPACE "get_object";
constexpr const char* find_typeid_name = VORLA_NSPACE "find_typeid";
constexpr const char* create_instance_name = VORLA_NSPACE "create_instance";
constexpr const char* generate_name = VORLA_NSPACE "_generate";
constexpr const char* call_function_name = VORLA_NSPACE "call_function";
constexpr const char* call_native_name = VORLA_NSPACE "call_native";
constexpr const char* expand_inline_name = VORLA_NSPACE "expand_inline";
constexpr const char* start_process_name = VORLA_NSPACE "start_process";
constexpr const char* process_definition_name = VORLA_NSPACE "process_definition";
#undef VORLA_NSPACE
} // namespace

nspace::nspace(context& ctx)
    : parent(nullptr),
      global(nullptr),
      classes(std::make_shared<class_table>()),
      processes(std::make_shared<table::process>()),
      functions(std::make_shared<table::function>(ctx.definitions)),
      inlines(std::make_shared<table::inline_>()),
      natives(std::make_shared<table::native>()),
      live(std::make_shared<process_list>()),
      types(std::make_shared<idm<wchar_t>>()),
      host_types(std::make_shared<host_class_table>()),
      watch(nullptr),
      ctx(&ctx),
      own_watch_(std::make_unique<step_watch>())
{
    watch = own_watch_.get();
}

nspace::nspace(nspace* parent)
    : parent(parent),
      global(&parent->global),
      classes(parent->classes),
      processes(std::make_shared<table::process>()),
      functions(std::make_shared<table::function>(parent->ctx->definitions)),
      inlines(std::make_shared<table::inline_>()),
      natives(parent->natives),
      live(parent->live),
      types(parent->types),
      host_types(parent->host_types),
      watch(parent->watch),
      ctx(parent->ctx)
{
}

namespace {
// A handle to what `owned` points at that holds no count: copying and dropping it touch no counter.
template <class T>
std::shared_ptr<T> uncounted(const std::shared_ptr<T>& owned)
{
    return std::shared_ptr<T>(std::shared_ptr<T>(), owned.get());
}
} // namespace

nspace::nspace(const nspace& like, borrowing_t)
    : parent(like.parent),
      global(like.global.parent),
      classes(uncounted(like.classes)),
      processes(uncounted(like.processes)),
      functions(uncounted(like.functions)),
      inlines(uncounted(like.inlines)),
      natives(uncounted(like.natives)),
      live(uncounted(like.live)),
      types(uncounted(like.types)),
      host_types(uncounted(like.host_types)),
      watch(like.watch),
      ctx(like.ctx)
{
}

// Members go in reverse order of declaration: the shared handles, then the global variables, then the name.
nspace::~nspace() = default;

nspace* nspace::root() noexcept
{
    nspace* n = this;
    while (n->parent) n = n->parent;
    return n;
}

std::string nspace::type_name(type_id_t id) const
{
    // A failure report must not fail itself: an id the manager does not know is shown as its number.
    try {
        return narrow(types->find_str(id));
    } catch (const std::exception&) {
        return detail::format_number(id);
    }
}

std::string nspace::shown_type(type_id_t id) const
{
    const std::string word = type_word(id);
    return word.empty() ? type_name(id) : word;
}

std::string nspace::call_signature(const std::string& routine, const args& v) const
{
    std::string out = routine + "(";
    for (std::size_t i = 0; i < v.size(); ++i) out += (i ? ", " : "") + shown_type(v[i]->type_id());
    return out + ")";
}

std::vector<std::string> nspace::process_signatures(const std::wstring& process_name) const
{
    std::vector<std::string> out;
    const std::wstring key = L"p?" + process_name;
    if (!types->contains(key)) return out;
    for (const table::routine& r : processes->overloads(types->find(key))) {
        std::string text = narrow(process_name) + "(";
        for (std::size_t i = 0; i < r.params.size(); ++i)
            text += (i ? ", " : "") + shown_type(r.params[i].type);
        out.push_back(text + ")");
    }
    return out;
}

std::shared_ptr<object> nspace::define_object(const std::wstring& class_name)
{
    // The type-id manager refuses a name it knows already, before the class table is touched.
    const type_id_t id = types->generate(class_name);
    auto cls = std::make_shared<object>(this, class_name, id);
    if (!classes->emplace(id, cls).second)
        throw VORLA_EXCEPTION(define_object_name, "object already exists, id=") << class_name;
    return cls;
}

std::shared_ptr<object> nspace::get_object(type_id_t id) const
{
    auto it = classes->find(id);
    if (it == classes->end()) throw VORLA_EXCEPTION(get_object_name, "reffer to undefined typeid, typeid=") << id;
    return it->second;
}

std::shared_ptr<host_class> nspace::define_host_type(const std::wstring& type_name, const void* cpp_key)
{
    const type_id_t id = types->generate(type_name);
    auto cls = std::make_shared<host_class>(narrow(type_name), id, cpp_key);
    host_types->emplace(id, cls);
    return cls;
}

type_id_t nspace::find_typeid(const std::wstring& type_name) const
{
    if (!types->contains(type_name)) throw VORLA_EXCEPTION(find_typeid_name, "undefined typeid string, sid=") << type_name;
    return types->find(type_name);
}

value nspace::create_instance(type_id_t id)
{
    auto failure = [&] { return VORLA_EXCEPTION(create_instance_name, "instance creation failure, typeid=") << id; };
    return wrap_failure(failure, [&]() -> value {
        switch (id) {
        case tid::boolean:
            return make<boolean>();
        case tid::signed_:
            return make<signed_<int>>();
        case tid::unsigned_:
            return make<unsigned_<unsigned int>>();
        case tid::float_:
            return make<real<float>>();
        case tid::double_:
            return make<real<double>>();
        case tid::string_:
            return make<string_<wchar_t>>();
        case tid::nil:
            return make<nil>();
        case tid::ref:
            return make<ref>(ctx->cycles);
        case tid::typeid_:
            return make<typeid_>();
        case tid::bad_cast:
            return make<exception_<bad_cast_>>();
        case tid::range_error:
            return make<exception_<range_error_>>();
        case tid::vector_:
            return make<vector_>();
        case tid::list_:
            return make<list_>();
        case tid::hash_:
            return make<hash_>();
        case tid::timer:
            return make<timer>();
        default:
            // A host type: a value standing for no object yet, which only its constructor fills.
            if (const auto host = host_types->find(id); host != host_types->end())
                return make<host_value>(host->second, nullptr);
            // A script class: a new instance sharing the class object's compiled data, without members.
            return make<instance>(get_object(id));
        }
    });
}

value nspace::_generate(type_id_t id)
{
    auto failure = [&] { return VORLA_EXCEPTION(generate_name, "instance generation failure, typeid=") << id; };
    return wrap_failure(failure, [&] {
        value v = create_instance(id);
        v->call_constructor();
        return v;
    });
}

value nspace::_generate(type_id_t id, const value& from)
{
    auto failure = [&] { return VORLA_EXCEPTION(generate_name, "instance generation failure, typeid=") << type_name(id); };
    return wrap_failure(failure, [&] {
        value v = create_instance(id);
        v->call_constructor(from);
        return v;
    });
}

value nspace::_generate(type_id_t id, const args& from)
{
    auto failure = [&] { return VORLA_EXCEPTION(generate_name, "instance generation failure, typeid=") << type_name(id); };
    return wrap_failure(failure, [&] {
        if (from.empty()) return _generate(id);
        if (from.size() == 1) return _generate(id, from.front());
        value v = create_instance(id);
        v->call_constructor(from);
        return v;
    });
}

value nspace::call_function(symbol name, const args& v)
{
    script_signal out;
    value result = call_function(name, v, out);
    if (!result && out.pending()) raise_signal(out.kind, out);
    return result;
}

value nspace::call_function(symbol name, const args& v, script_signal& out)
{
    call_site once;
    return call_function(name, v, out, once);
}

value nspace::call_remembered(symbol name, std::span<const value> v, script_signal& out, call_site& site)
{
    // The tables are checked before the remembered definition is touched: only an unchanged table
    // guarantees it still exists.
    if (site.routine) {
        nspace* n = this;
        for (unsigned i = 0; n && n->functions.get() == site.path[i].functions &&
                             n->functions->stamp() == site.path[i].stamp;
             ++i, n = n->parent) {
            if (i < site.depth) continue;
            if (!table::matches(site.routine->params, v)) break;
            runtime rt{&n->global, n, out};
            return table::function::invoke(*site.routine, v, rt);
        }
    }
    // The innermost namespace with this signature runs it; an error in its body is that call's own
    // report and does not send the search further out. The path is rewritten as the search goes, so
    // the site remembers no definition until it holds the path to the one found.
    site.routine = nullptr;
    std::size_t levels = 0;
    for (nspace* n = this; n; n = n->parent, ++levels) {
        if (levels < call_site::max_depth) site.path[levels] = {n->functions.get(), n->functions->stamp()};
        if (const table::routine* r = n->functions->find(name, v)) {
            site.routine = levels < call_site::max_depth ? r : nullptr;
            site.depth = static_cast<unsigned>(levels);
            runtime rt{&n->global, n, out};
            return table::function::invoke(*r, v, rt);
        }
    }
    no_function(name, args(v.begin(), v.end()), levels);
}

void nspace::no_function(symbol name, const args& v, std::size_t levels)
{
    // No namespace has it: the root's report, and one more line for each namespace it was sought from.
    const std::string text = call_text(narrow(*name), v);
    exception report = VORLA_EXCEPTION(call_function_name, "function id resolution failure, ") << text;
    const std::string types = call_signature("", v);
    bool named = false;
    for (nspace* n = this; n; n = n->parent) named = named || n->functions->defines(name);
    // `return(x);` parses as a call of a function named return.
    if (*name == L"return" || *name == L"throw")
        report.hint("`" + narrow(*name) + "` and its value must be separated by a space: write `" + narrow(*name) +
                    " " + (v.size() == 1 ? "(x)" : "x") + ";`");
    report.explain(named ? "no function '" + narrow(*name) + "' takes " + types
                                            : "no function named '" + narrow(*name) + "'");
    while (--levels) {
        exception outer = VORLA_EXCEPTION(call_function_name, "function id resolution failure, ") << text;
        report = std::move(outer << report);
    }
    throw report;
}

std::string nspace::call_description(symbol name, const args& v)
{
    for (nspace* n = this; n; n = n->parent)
        if (n->functions->find(name, v))
            // A namespace with a parent is a class or an instance's part, whose name is its class's.
            return (n->parent ? "method " + narrow(static_cast<const object*>(n)->name) + "::" : std::string("function ")) +
                   call_signature(narrow(*name), v);
    return "function " + call_signature(narrow(*name), v);
}

value nspace::call_native(const std::wstring& native_name, args& v)
{
    auto failure = [&] { return VORLA_EXCEPTION(call_native_name, "catch exception, ") << call_text(narrow(native_name), v); };
    return wrap_failure(failure, [&] { return natives->at(native_name)(v); });
}

scope_ptr nspace::expand_inline(symbol name, const args& v)
{
    table::inline_nesting::check(*ctx, expand_inline_name);
    auto failure = [&] { return VORLA_EXCEPTION(expand_inline_name, "inline expansion failure, ") << call_text(narrow(*name), v); };
    return wrap_failure(failure, [&] {
        const table::routine* r = inlines->find(name, v);
        if (!r) throw std::out_of_range("Unable to find key in unordered_map.");
        return table::make_frame(*r, v, &global);
    });
}

exception nspace::start_failure() { return VORLA_EXCEPTION(start_process_name, "fail to start process"); }

value nspace::start_process(type_id_t pid, const args& v, script_pos at)
{
    auto failure = [] { return start_failure(); };
    return wrap_failure(failure, [&] {
        scope_ptr frame = process_definition(pid, v);
        nspace* top = root();
        const std::uint32_t serial = ++top->serials;
        process_origin origin{at};
        if (const process* starter = top->running)
            origin = {at, starter->serial, starter->pid, starter->origin.at, starter->origin.starter_serial,
                      starter->origin.starter_pid};
        auto p = std::make_shared<process>(pid, std::move(frame), top, &top->global, serial, origin);
        live->push_back(p);
        return make<process_<process>>(std::move(p));
    });
}

value nspace::start_process(const std::wstring& process_name, const args& v)
{
    // An unknown name is the type-id manager's own out-of-range error, not wrapped.
    return start_process(types->find(L"p?" + process_name), v);
}

scope_ptr nspace::process_definition(type_id_t pid, const args& v)
{
    // A definition whose parameters share a name can bind no arguments (the second of the name would be
    // a duplicate variable): it counts as no definition here, and the search goes on outward. An error
    // while the arguments are copied (a copy constructor that throws) is that start's own and leaves.
    const table::routine* r = processes->find(pid, v);
    if (r && r->distinct_names) return table::make_frame(*r, v, &global);
    if (parent) {
        try {
            return parent->process_definition(pid, v);
        } catch (const std::exception& caught) {
            throw VORLA_EXCEPTION(process_definition_name, "catch exception, pid=")
                << type_name(pid) << " " << arglist_text(v) << caught;
        }
    }
    std::string name = type_name(pid);
    if (name.rfind("p?", 0) == 0) name.erase(0, 2);
    throw VORLA_EXCEPTION(process_definition_name, "undefined process id, pid=")
              .explain("no process '" + name + "' takes " + call_signature("", v))
        << type_name(pid) << " " << arglist_text(v);
}

namespace {
// The running process is known only while it steps, whichever way the step ends.
struct stepping {
    process*& running;
    ~stepping() { running = nullptr; }
};
} // namespace

[[gnu::always_inline]] inline nspace::process_list::iterator nspace::step_one(process_list& list,
                                                                             process_list::iterator it, step_watch& w)
{
    // Stopped by the host: dropped at its turn, its frame released, without a step.
    if ((*it)->stopped) {
        running = nullptr;
        (*it)->frame.reset();
        return list.erase(it);
    }
    w.before_step(**it);
    ctx->cycles.poll();  // between statements: see cycle_registry
    running = it->get();
    bool more;
    try {
        more = (*it)->run();
    } catch (...) {
        // The pass ends here and the list stays as it is; a host that goes on after the error
        // learns which process failed.
        failed = it->get();
        throw;
    }
    if (more) return ++it;
    running = nullptr;  // not left pointing at the process the erase may destroy
    return list.erase(it);
}

// One pass over the list: every live process takes one step, in start order.
[[gnu::always_inline]] inline void nspace::pass(process_list& list, step_watch& w)
{
    // std::list: erasing a finished process costs O(1), and a process appended during the pass is
    // reached because the end is tested after every step.
    for (auto it = list.begin(); it != list.end();) it = step_one(list, it, w);
}

void nspace::napping_pass(process_list& list, step_watch& w)
{
    using clock = std::chrono::steady_clock;
    for (;;) {
        const clock::time_point now = clock::now();
        clock::time_point first_wake = clock::time_point::max();
        bool stepped = false;
        for (auto it = list.begin(); it != list.end();) {
            if ((*it)->wake_at > now && !(*it)->stopped) {
                first_wake = std::min(first_wake, (*it)->wake_at);
                ++it;
                continue;
            }
            stepped = true;
            it = step_one(list, it, w);
        }
        if (stepped || list.empty()) return;
        // Every process sleeps: the pass waits for the first, so that a pass always steps one.
        w.wait_until(first_wake);
    }
}

void nspace::schedule()
{
    const stepping guard{running};
    if (naps) napping_pass(*live, *watch);
    else pass(*live, *watch);
}

void nspace::run_passes(std::uint64_t n)
{
    // One call for many passes: with one process left, a pass is a single step, and setting up the
    // pass would otherwise cost as much as the step's own bookkeeping.
    const stepping guard{running};
    process_list& list = *live;
    step_watch& w = *watch;
    for (; n && !list.empty(); --n) {
        w.begin_pass();
        if (naps) napping_pass(list, w);
        else pass(list, w);
    }
}

} // namespace vorla
