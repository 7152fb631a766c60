// The interpreter's own locale: UTF-8 text, grouped narrow numbers ("1,234"), ungrouped wide numbers.
#pragma once

#include <locale.h>

#include <locale>

namespace vorla {
// The locale the interpreter's streams are imbued with. Built once and never changed, so interpreters on
// any thread share it; the host's global C++ and C locales are left as the host set them.
const std::locale& text_locale();
// The same character set for the C library's wide character classes (iswalpha_l and friends).
locale_t ctype_locale();
// Makes text_locale() the global C++ locale and sets the C locales to match: the vorla program's own
// start-up, as designed. A host never needs it.
void install_locale();
} // namespace vorla
