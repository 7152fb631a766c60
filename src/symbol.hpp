// Interned names: every variable, function and member name is one shared string, compared by address.
#pragma once

#include <string>

namespace vorla {

using symbol = const std::wstring*;

// The one interned copy of a name in the running interpreter (see context.hpp); the same text always
// yields the same address there, for the interpreter's whole life.
symbol intern(const std::wstring& name);

} // namespace vorla
