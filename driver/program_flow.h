#pragma once

namespace driver {

// The whole run: connections, pre-scan, header, the record loop, the stop.
// Ends the process; never returns.
[[noreturn]] void run_program();

} // namespace driver
