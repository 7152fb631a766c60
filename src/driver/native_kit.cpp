// The shared parts of the built-in natives: argument readers and the refusals they raise.
#include "driver/native_kit.hpp"

namespace vorla::driver {

std::optional<native_info> builtin_native(std::string_view name)
{
    for (unsigned id = 0; id <= static_cast<unsigned>(native_id::sleep); ++id)
        if (const native_info n = info(static_cast<native_id>(id)); name == n.name) return n;
    return std::nullopt;
}

void wrong_argument(native_id id, const args& v, std::size_t i, const char* wanted)
{
    const native_info n = info(id);
    exception e = VORLA_EXCEPTION(n.name, "invalid argument type, v[") << static_cast<unsigned>(i) << "]=" << v[i]->describe();
    e.explain(std::string("using::") + n.name + " takes " + wanted + " here, not " + type_word(*v[i]));
    throw e;
}

const std::wstring& text_argument(native_id id, const args& v, std::size_t i)
{
    if (v[i]->type_id() != tid::string_) wrong_argument(id, v, i, "a string");
    return static_cast<const string_<wchar_t>&>(*v[i]).text();
}

double number_argument(native_id id, const args& v, std::size_t i)
{
    switch (v[i]->type_id()) {
    case tid::signed_:
    case tid::unsigned_:
    case tid::float_:
    case tid::double_: return static_cast<double>(*v[i]);
    default: wrong_argument(id, v, i, "a number");
    }
}

void refuse_outside(std::string why)
{
    auto trace = std::make_shared<script_trace>();
    trace->message = why;
    throw sig_throw{make<string_<wchar_t>>(widen(why)), std::move(trace)};
}

void refuse_range(native_id id, std::string why) { throw_range_error(__FILE__, info(id).name, __LINE__, std::move(why)); }

} // namespace vorla::driver
