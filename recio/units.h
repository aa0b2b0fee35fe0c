// Units, files and the command line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace recio {

struct Connection;

// Reserved unit markers for the console.
inline constexpr int32_t kConsoleInput = -1;
inline constexpr int32_t kConsoleOutput = -2;

// Sets up the process-wide state before anything else runs: the console
// connections on the given descriptors and the end-of-run closing; then
// begins the first run with this command line.
void initialize_runtime(int argc, char **argv, int in_fd = 0, int out_fd = 1, int err_fd = 2);

// Begins a further run in the same process, as a new process would start it:
// no unit connected, the console connections with nothing pending or
// buffered, the command line `argv` with no argument taken yet, the name
// buffer empty and no traceback frame. Buffers are kept for reuse.
void begin_run(int argc, char **argv);

// Connects `unit` to the named file or device; every failure is a run-time
// error. A blank name takes the next command-line argument or asks for one.
// The status "OLD" (any case) connects only a file that exists, and a missing
// one is the not-found error; any other status is "UNKNOWN": a missing file is
// created empty.
int32_t connect_unit(int32_t unit, std::string_view name, std::string_view access,
                     int32_t record_length = 1024, std::string_view status = "UNKNOWN");
void rewind_unit(int32_t unit);

// Where a unit's input stands, for a report of what a run passed over: the
// number of the current line (from 1) and the byte position it begins at,
// counted from the start of the file, or from the last rewind.
struct InputPlace {
  uint64_t line = 0;
  int64_t line_start = 0;
};
InputPlace input_place(int32_t unit);
// Reads a unit on from where its reads stopped (at the end of the file, or
// at a Ctrl-Z that ended them early) to the end of the file, and returns the
// number of lines the file holds, a last line without a line feed included.
uint64_t count_lines_to_end(int32_t unit);
// The name a unit is connected under; empty when it is not connected.
std::string_view unit_name(int32_t unit);

int32_t argument_count();
// Copies argument `index` into `dest` (blank padded); `status` receives its full
// length, or -1 when there is no such argument.
void get_argument(int16_t index, char *dest, size_t length, int16_t &status);

// Writes out held output, releases every file and closes a pending console
// line. Runs once; later calls do nothing.
void close_all_units();

// The connection of a unit, or the console connection for a marker; null when
// the unit is not connected.
Connection *find_connection(int32_t unit);
Connection &console_input();
Connection &console_output();
// Whether standard input is an interactive console.
bool console_is_interactive();

// The name of the connection under connection or last used by a failed transfer.
std::string_view name_buffer();
void set_name_buffer(std::string_view name);

// What a device name given as a file name connects to on this host.
enum class DeviceKind : uint8_t { none, console, standard_error, host_path };
struct Device {
  DeviceKind kind = DeviceKind::none;
  const char *path = nullptr; // for host_path
};
Device device_for_name(std::string_view name);

} // namespace recio
