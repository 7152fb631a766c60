// The process-wide locale: UTF-8 text, grouped narrow numbers ("1,234"), ungrouped wide numbers.
#pragma once

namespace vorla {
// Installs the global C++ and C locales; the driver calls it first, tests call it too.
void install_locale();
} // namespace vorla
