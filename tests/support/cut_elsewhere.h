// A file cut short by another process, as a run may meet one.
#pragma once

#include "recio/host/host.h"

#include <string>

namespace testing_support {

// Cuts the file `name` to `size` bytes from another process where the host
// allows it; false when the host refuses to cut a file that has a view.
bool cut_elsewhere(const std::string &name, recio::host::Offset size);

} // namespace testing_support
