// The files group of natives: read_file, write_file, append_file, lines and exists, on paths as the
// host's working directory sees them.
#pragma once

#include <string>

#include "nspace.hpp"

namespace vorla::driver {

void define_file_natives(nspace& space);

} // namespace vorla::driver
