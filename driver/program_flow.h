#pragma once

namespace driver {

class RunReport;

// With a report, each pass of the record loop and the end of the input are
// told to it; null for none (the default).
void set_run_report(RunReport *report);

// The run up to its stop: connections, pre-scan, header and the record
// loop, to the end of the input; the statement is then the stop's.
void list_input();

// The whole run: list_input(), then the stop. Ends the process; never
// returns.
[[noreturn]] void run_program();

} // namespace driver
