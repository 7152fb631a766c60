// The thread's current interpreter context and its detached one.
#include "context.hpp"

namespace vorla {

thread_local context* context::current_ = nullptr;

context& context::detached() noexcept
{
    // One per thread for code that runs outside every interpreter; it lives as long as the thread.
    thread_local context outside;
    return outside;
}

} // namespace vorla
