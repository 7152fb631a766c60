// What a script run leaves behind in the process outside its namespace, and the reset before another run.
#pragma once

namespace vorla {

// Restarts the shared random sequence, so that a
// host running several scripts in one process (the fuzz targets do) gives each the start a new
// interpreter process would. Call between runs, once everything the previous run built is destroyed.
void reset_run_state() noexcept;

// True when no script call is in progress: the call-depth count is back at zero. Between runs anything
// else means a call frame left without undoing its count.
bool no_call_in_progress() noexcept;

} // namespace vorla
