// The thread's detached context, for code that runs outside every interpreter.
#include "context.hpp"

namespace vorla {

context& context::detached() noexcept
{
    // One per thread for code that runs outside every interpreter; it lives as long as the thread.
    thread_local context outside;
    return outside;
}

} // namespace vorla
