// The script exception values, and the two helpers every refusing operation throws them through.
#include "factor/exception.hpp"

#include <memory>

#include "expression/signal.hpp"

namespace vorla {

template <class Tag>
void exception_<Tag>::take(const char* op, const value& v)
{
    if (v->type_id() != type_id()) refuse(op, v);
    const auto& other = dynamic_cast<const exception_&>(*v);
    file_ = other.file_;
    function_ = other.function_;
    line_ = other.line_;
}

template <class Tag>
void exception_<Tag>::call_constructor(const value& v)
{
    take("call_constructor", v);
}

template <class Tag>
void exception_<Tag>::operator=(const value& r)
{
    take("operator =", r);
}

template <class Tag>
value exception_<Tag>::clone() const
{
    return make<exception_>(file_, function_, line_);
}

namespace {
std::uint32_t text_hash(const std::string& s)
{
    std::uint32_t h = 0;
    for (char c : s) hash_combine(h, static_cast<unsigned char>(c));
    return h;
}
} // namespace

template <class Tag>
void exception_<Tag>::hash(std::uint32_t& seed) const
{
    hash_combine(seed, text_hash(file_));
    hash_combine(seed, text_hash(function_));
    hash_combine(seed, static_cast<std::uint32_t>(line_));
}

template <class Tag>
bool exception_<Tag>::equal(const value& other) const
{
    if (other->type_id() != type_id()) return false;
    const auto* o = dynamic_cast<const exception_*>(other.get());
    return o && o->file_ == file_ && o->function_ == function_ && o->line_ == line_;
}

template <class Tag>
std::string exception_<Tag>::describe() const
{
    return std::string(exception_traits<Tag>::name) + "(" + file_ + "(" +
           detail::format_number(static_cast<unsigned int>(line_)) + ") : " + function_ + ")";
}

template class exception_<bad_cast_>;
template class exception_<range_error_>;

void throw_bad_cast(const char* file, const std::string& function, int line, trace_ptr cause)
{
    throw sig_throw{make<exception_<bad_cast_>>(file, function, line), std::move(cause)};
}

void throw_range_error(const char* file, const std::string& function, int line, std::string why)
{
    // Value code cannot tell whether a script handler is running: the account with the exact reason is
    // made either way, as a range error is rare and a handler drops it.
    trace_ptr trace;
    if (!why.empty()) {
        trace = std::make_shared<script_trace>();
        trace->message = std::move(why);
    }
    throw sig_throw{make<exception_<range_error_>>(file, function, line), std::move(trace)};
}

} // namespace vorla
