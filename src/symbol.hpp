// Interned names: every variable, function and member name is one shared string, compared by address.
#pragma once

#include <string>

namespace vorla {

// A name's one interned copy in an interpreter (context::intern): the same text always yields the same
// address there, for the interpreter's whole life.
using symbol = const std::wstring*;

} // namespace vorla
