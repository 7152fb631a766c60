// The library's interpreter: a root namespace, its compiler, console and context behind the public API.
#include "vorla/vorla.hpp"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <limits>
#include <new>
#include <optional>
#include <utility>

#include "context.hpp"
#include "driver/console.hpp"
#include "driver/natives.hpp"
#include "driver/trace.hpp"
#include "exception.hpp"
#include "factor/boolean.hpp"
#include "factor/hash_.hpp"
#include "factor/nil.hpp"
#include "factor/real.hpp"
#include "factor/signed_.hpp"
#include "factor/string_.hpp"
#include "factor/unsigned_.hpp"
#include "factor/vector_.hpp"
#include "lib/basic_filesystem.hpp"
#include "nspace.hpp"
#include "semantic/semantic.hpp"
#include "stack_guard.hpp"

namespace vorla {

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

script_value make_nil() { return value_access::wrap(fresh_nil()); }
script_value make_int(int v) { return value_access::wrap(make<signed_<int>>(v)); }
script_value make_uint(unsigned int v) { return value_access::wrap(make<unsigned_<unsigned int>>(v)); }
script_value make_double(double v) { return value_access::wrap(make<real<double>>(v)); }
script_value make_bool(bool v) { return value_access::wrap(make<boolean>(v)); }
script_value make_string(const std::wstring& v) { return value_access::wrap(make<string_<wchar_t>>(v)); }
script_value make_string(const std::string& utf8) { return make_string(widen(utf8)); }
script_value make_string(const char* utf8) { return make_string(widen(utf8 ? std::string(utf8) : std::string())); }

script_value make_vector(const std::vector<script_value>& elements)
{
    const value made = make<vector_>();
    static const std::string push_back = "push_back";
    for (const script_value& e : elements) {
        const args one{value_access::of(e)};
        made->method(method_call<char>{one, push_back});
    }
    return value_access::wrap(made);
}

script_value make_hash(const std::vector<std::pair<script_value, script_value>>& entries)
{
    const value made = make<hash_>();
    static const std::string insert = "insert";
    for (const auto& [key, item] : entries) {
        const args pair{value_access::of(key), value_access::of(item)};
        made->method(method_call<char>{pair, insert});
    }
    return value_access::wrap(made);
}

// ---- errors --------------------------------------------------------------------------------------------

script_error::script_error(const std::string& diagnostic, std::string report, std::string file, unsigned line,
                           unsigned column)
    : std::runtime_error(diagnostic), report_(std::move(report)), file_(std::move(file)), line_(line), column_(column)
{
}

// ---- the interpreter -----------------------------------------------------------------------------------

namespace {

// A relative script path that names an existing file where the host stands is compiled from there;
// anything else is left to the compiler's lookup in its include directories.
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
        : console(o.output ? o.output->rdbuf() : std::cout.rdbuf(), o.input ? o.input->rdbuf() : std::cin.rdbuf()),
          compiler(space)
    {
        space.ctx = &state;
        state.call_limit = o.call_depth_limit;
        if (o.trace_fd >= 0) space.watch->observe(&trace.emplace(o.trace_fd, o.trace_line_by_line));
        if (o.step_budget) space.watch->limit_steps(*o.step_budget);
        if (o.time_budget) {
            // Beyond a century is as good as no limit, and stays inside the clock's range.
            const double seconds = std::clamp(*o.time_budget, 0.0, 100.0 * 365 * 24 * 3600);
            space.watch->limit_time(
                std::chrono::duration_cast<step_watch::clock::duration>(std::chrono::duration<double>(seconds)));
        }
        for (const std::string& d : o.include_directories) compiler.include_directories.push_back(widen(d));
        if (trace) trace->show_positions(compiler.files);
        driver::define_console_natives(space, console);
    }

    // The context first, so that it outlives everything holding the names it interned.
    context state;
    driver::console console;
    std::optional<driver::trace_writer> trace;
    nspace space;
    semantic<wchar_t> compiler;

    // The public error for a diagnostic: its text, and when the script's view of it is known, the report
    // for people and the position.
    script_error error_of(const std::exception& e) const
    {
        const auto* d = dynamic_cast<const exception*>(&e);
        const script_trace* t = d ? d->trace() : nullptr;
        if (!t || !compiler.files) return script_error(e.what(), {}, {}, 0, 0);
        std::string file;
        source_files::line_col at;
        if (t->where.known()) {
            file = compiler.files->path(t->where.file);
            at = compiler.files->locate(t->where);
        }
        return script_error(e.what(), format_report(*compiler.files, *t, e.what()), std::move(file),
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
        const nspace::process_list& live = *space.live;
        try {
            space.run_passes(n);
        } catch (...) {
            if (process* p = std::exchange(space.failed, nullptr))
                space.live->remove_if([p](const auto& entry) { return entry.get() == p; });
            throw;
        }
        return !live.empty();
    }
};

interpreter::interpreter(interpreter_options options) : impl_(std::make_unique<impl>(options)) {}

// The trace's last lines are written when it is destroyed, after everything that ran.
interpreter::~interpreter() = default;

void interpreter::define_native(const std::string& name, native function)
{
    if (!function) throw std::invalid_argument("define_native: the native '" + name + "' has no function");
    impl_->guarded([&] {
        const std::string shown = name;
        impl_->space.natives->define(widen(name), [shown, f = std::move(function)](args& v) -> value {
            try {
                std::vector<script_value> given;
                given.reserve(v.size());
                for (const value& a : v) given.push_back(value_access::wrap(a));
                return value_access::of(f(given));
            } catch (const std::exception& e) {
                throw exception(VORLA_EXCEPTION(shown.c_str(), "catch exception")) << e;
            }
        });
    });
}

void interpreter::compile_file(const std::string& path)
{
    impl_->guarded([&] { impl_->compiler.compile(script_path(path), path); });
}

void interpreter::compile_string(const std::string& name, const std::wstring& text)
{
    impl_->guarded([&] {
        semantic<wchar_t>::dir_stack dirs;
        impl_->compiler.compile_str(text, dirs, name);
    });
}

void interpreter::compile_string(const std::string& name, const std::string& utf8_text)
{
    compile_string(name, decode_utf8(utf8_text));
}

void interpreter::start(const std::string& process, const std::vector<script_value>& arguments)
{
    impl_->guarded([&] { impl_->space.start_process(widen(process), value_access::of(arguments)); });
}

bool interpreter::step()
{
    return impl_->guarded([&] { return impl_->passes(1); });
}

bool interpreter::run_for(std::uint64_t passes)
{
    return impl_->guarded([&] { return impl_->passes(passes); });
}

void interpreter::run()
{
    impl_->guarded([&] { impl_->passes(std::numeric_limits<std::uint64_t>::max()); });
}

std::size_t interpreter::processes() const { return impl_->space.live->size(); }

script_value interpreter::call(const std::string& function, const std::vector<script_value>& arguments)
{
    return impl_->guarded([&] {
        const args given = value_access::of(arguments);
        const symbol name = intern(widen(function));
        script_signal out;
        value result = impl_->space.call_function(name, given, out);
        if (result) return value_access::wrap(std::move(result));
        // A signal that left the function: to the host, as to a process, an error.
        static constexpr const char* call_name = "vorla::interpreter::call";
        if (out.kind == flow::thr) {
            trace_ptr trace = out.take_trace();
            const std::string text = out.take()->describe();
            exception e = VORLA_EXCEPTION(call_name, "catch unexpected throw ") << text;
            e.adopt(std::move(trace));
            e.explain("nothing caught the exception " + text);
            e.script().leave(impl_->space.call_description(name, given));
            throw e;
        }
        throw VORLA_EXCEPTION(call_name, out.kind == flow::brk ? "catch unexpected break" : "catch unexpected continue");
    });
}

void with_script_stack(const std::function<void()>& f) { run_on_stack(script_stack_bytes, f); }

} // namespace vorla
