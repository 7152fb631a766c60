// Interning through the running interpreter's context.
#include "symbol.hpp"

#include "context.hpp"

namespace vorla {

symbol intern(const std::wstring& name) { return context::current().intern(name); }

} // namespace vorla
