// The process step and the diagnostics for signals that reach the top of a process body.
#include "process.hpp"

#include "expression/signal.hpp"

namespace vorla {

namespace {
constexpr const char* run_name = "vorla::process<wchar_t>::run";
} // namespace

bool process::run()
{
    // The frame's step turns a throw, break or continue raised in its C++ form into its flow; only a
    // return out of a constructor body arrives here in that form.
    flow f;
    try {
        f = frame->step(context);
    } catch (const sig_return& r) {
        throw VORLA_EXCEPTION(run_name, "catch unexpected return ") << r.v->describe();
    }
    switch (f) {
    case flow::more:
        return true;
    case flow::done:
        return false;
    case flow::ret:
        throw VORLA_EXCEPTION(run_name, "catch unexpected return ") << context.out->take()->describe();
    case flow::thr:
        throw VORLA_EXCEPTION(run_name, "catch unexpected throw ") << context.out->take()->describe();
    case flow::brk:
        throw VORLA_EXCEPTION(run_name, "catch unexpected break");
    case flow::cont:
        throw VORLA_EXCEPTION(run_name, "catch unexpected continue");
    }
    return false;
}

} // namespace vorla
