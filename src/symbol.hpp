// Interned names: every variable, function and member name is one shared string, compared by address.
#pragma once

#include <string>

namespace vorla {

using symbol = const std::wstring*;

// The one interned copy of a name; the same text always yields the same address, for the whole run.
symbol intern(const std::wstring& name);

} // namespace vorla
