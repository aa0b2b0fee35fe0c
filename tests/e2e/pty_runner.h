// Runs the built vornet binary with standard input and output on a
// pseudo-terminal, typing replies as the expected output appears.
#pragma once

#include "e2e/run_binary.h"

#include <string>
#include <vector>

namespace e2e {

// Waits until `wait_for` has appeared on the terminal (after what earlier
// steps waited for), then types `keys`.
struct TerminalStep {
  std::string wait_for;
  std::string keys;
};

// The terminal has the usual line discipline (canonical input, echo, CR to
// LF on input), but output processing is off, so `out` holds the bytes the
// program wrote and the echo of what was typed, unchanged. Standard error
// goes to a pipe and ends up in `err`.
RunResult run_vornet_on_terminal(const ScratchDir &dir, const std::vector<std::string> &args,
                                 const std::vector<TerminalStep> &steps);

} // namespace e2e
