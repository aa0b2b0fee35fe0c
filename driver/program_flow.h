#pragma once

namespace driver {

// The run up to its stop: connections, pre-scan, header and the record
// loop, to the end of the input; the statement is then the stop's.
void list_input();

// The whole run: list_input(), then the stop. Ends the process; never
// returns.
[[noreturn]] void run_program();

} // namespace driver
