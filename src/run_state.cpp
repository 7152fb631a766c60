// The reset between script runs in one process.
#include "run_state.hpp"

#include "factor/integer.hpp"
#include "table/routine.hpp"

namespace vorla {

void reset_run_state() noexcept
{
    restart_random();
}

bool no_call_in_progress() noexcept { return table::call_depth::current() == 0; }

} // namespace vorla
