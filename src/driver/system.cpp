// The system group of natives: the program's exit status, its environment, the wall clock and sleeping.
#include "driver/system.hpp"

#include <chrono>
#include <cstdlib>
#include <thread>

#include "driver/native_kit.hpp"
#include "factor/nil.hpp"
#include "factor/real.hpp"
#include "process.hpp"

namespace vorla::driver {

namespace {

// The longest sleep taken: about 31 years, far inside the steady clock's range.
constexpr double longest_sleep = 1e9;

// Puts the running process to sleep for `seconds` from the end of its current step; several sleeps in
// one step add up. Outside any process (a host's call), the thread itself waits.
void sleep_for(nspace& space, double seconds)
{
    using clock = std::chrono::steady_clock;
    const auto length = std::chrono::duration_cast<clock::duration>(std::chrono::duration<double>(seconds));
    nspace& root = *space.root();
    clock::time_point* wake = root.running ? &root.running->wake_at : root.fiber_wake;
    if (!wake) {
        std::this_thread::sleep_for(length);
        return;
    }
    *wake = std::max(*wake, clock::now()) + length;
    root.naps = true;
    // A lone vm process running on into its next steps goes back to the scheduler, which leaves it out.
    if (!root.running) root.watch->call_scheduler();
}

} // namespace

void define_system_natives(nspace& space, std::function<void(int)> end_program)
{
    define_native(space, native_id::exit, [end = std::move(end_program)](args& v) -> value {
        const type_id_t t = v[0]->type_id();
        if (t != tid::signed_ && t != tid::unsigned_) wrong_argument(native_id::exit, v, 0, "an int");
        const double status = static_cast<double>(*v[0]);
        if (status < 0 || status > 255) refuse_range(native_id::exit, "an exit status is 0 to 255, not " + v[0]->describe());
        end(static_cast<int>(status));
        return make<nil>();
    });
    define_native(space, native_id::getenv, [](args& v) -> value {
        const std::wstring& name = text_argument(native_id::getenv, v, 0);
        const char* found = name.find(L'\0') == std::wstring::npos ? std::getenv(narrow(name).c_str()) : nullptr;
        return make<string_<wchar_t>>(found ? widen(found) : std::wstring());
    });
    define_native(space, native_id::now, [](args&) -> value {
        const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
        return make<real<double>>(std::chrono::duration<double>(since_epoch).count());
    });
    define_native(space, native_id::sleep, [&space](args& v) -> value {
        const double seconds = number_argument(native_id::sleep, v, 0);
        if (!(seconds >= 0 && seconds <= longest_sleep))
            refuse_range(native_id::sleep, "a sleep lasts 0 to 1,000,000,000 seconds, not " + v[0]->describe());
        sleep_for(space, seconds);
        return make<nil>();
    });
}

} // namespace vorla::driver
