#include "recio/units.h"

#include "recio/connection.h"
#include "recio/file_output.h"
#include "recio/host/host.h"
#include "recio/run_errors.h"
#include "recio/text.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

namespace recio {

namespace {

constexpr size_t kMaxUnits = 8;
// Names are used whole, as long as the host takes them (a Linux path 4095
// bytes, a Windows one 32767 UTF-16 units, so at most 98301 bytes of UTF-8).
// A console reply longer than this names no file on any host: the rest of
// it is skipped, not kept, and the name is refused.
constexpr size_t kLongestReply = 128 * 1024;

struct UnitSlot {
  bool connected = false;
  bool console = false; // connected to a console device: transfers use the console
  Connection connection;
};

std::array<UnitSlot, kMaxUnits> g_units;
Connection g_console_in;
Connection g_console_out;
bool g_one_console = false; // standard input and output are one interactive console
bool g_interactive_input = false;
bool g_closed = false;

int g_argc = 0;
char **g_argv = nullptr;
int32_t g_next_argument = 1;

std::string g_name_buffer;

std::string_view trim(std::string_view s) {
  const size_t first = s.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

// "append" in any case, followed only by blanks.
bool is_append(std::string_view access) {
  return access.size() >= 6 && equal_nocase(access.substr(0, 6), "APPEND") &&
         access.find_first_not_of(' ', 6) == std::string_view::npos;
}

// "OLD" in any case, with blanks around it.
bool is_old(std::string_view status) { return equal_nocase(trim(status), "OLD"); }

void set_connection_name(Connection &c, std::string_view name) {
  c.name.assign(name);
}

// A connection as a fresh one is, keeping the buffers it has: a unit that is
// connected run after run allocates them once. Built again in place rather
// than assigned from a temporary, which would move every member twice.
void renew(Connection &c) {
  discard_output(c);
  InputCursor input = std::move(c.input);
  std::unique_ptr<char[]> output = std::move(c.output);
  std::unique_ptr<uint8_t[]> record_bits = std::move(c.records.bits);
  std::destroy_at(&c);
  std::construct_at(&c);
  c.input = std::move(input);
  c.output = std::move(output);
  c.records.bits = std::move(record_bits);
}

// A console connection as at the start of a run, writing to `fd` or reading
// from `input_fd`: nothing pending, nothing buffered.
void setup_console(Connection &c, int32_t unit, host::Handle fd, host::Handle input_fd) {
  renew(c);
  c.unit = unit;
  c.fd = fd;
  c.is_console = true;
  set_connection_name(c, "CON");
  c.input.attach(input_fd, kInputBufferSize);
}

UnitSlot *slot_of(int32_t unit) {
  for (UnitSlot &s : g_units)
    if (s.connected && s.connection.unit == unit) return &s;
  return nullptr;
}

[[noreturn]] void open_error(ErrorCode code) {
  raise_run_time_error(code, StatementKind::open, kNoHandling);
  std::abort(); // a connect asks for no handling: not reached
}

ErrorCode open_error_code(host::OpenFailure failure) {
  switch (failure) {
  case host::OpenFailure::not_found:
    return ErrorCode::open_not_found;
  case host::OpenFailure::access_denied:
    return ErrorCode::open_access_denied;
  case host::OpenFailure::exists:
    return ErrorCode::open_file_exists;
  case host::OpenFailure::invalid_argument:
    return ErrorCode::open_invalid_argument;
  case host::OpenFailure::too_many_files:
    return ErrorCode::open_too_many_files;
  default:
    return ErrorCode::read_failed;
  }
}

// Reads one reply line from standard input into `reply`, without its line
// end. False when the line is longer than any name: then its first
// kLongestReply bytes are kept and the rest is skipped.
bool read_reply_line(std::string &reply) {
  InputCursor &in = console_input().input;
  reply.clear();
  bool data = true, whole = true;
  for (;;) {
    const int c = in.peek();
    if (c == InputCursor::kEnd || c == InputCursor::kHostError) {
      if (reply.empty() && data)
        open_error(c == InputCursor::kEnd ? ErrorCode::end_of_file : ErrorCode::read_failed);
      return whole;
    }
    in.advance();
    if (c == '\n') return whole;
    if (c == '\r') data = false; // a carriage return ends the line's data
    if (!data) continue;
    if (reply.size() < kLongestReply)
      reply.push_back(static_cast<char>(c));
    else
      whole = false;
  }
}

// Takes the next command-line argument, or asks for a name on the console.
void settle_blank_name(int32_t unit) {
  Connection &out = console_output();
  if (g_next_argument <= g_argc - 1) {
    set_name_buffer(trim(g_argv[g_next_argument++]));
  } else if (out.write_mode && !host::write_all(out.fd, "\r\n", 2)) {
    raise_run_time_error(ErrorCode::write_failed, StatementKind::write, kNoHandling, &out);
  }
  // An argument of blanks asks, like a missing one.
  std::string reply;
  while (name_buffer().empty()) {
    char prompt[96];
    const int len = std::snprintf(prompt, sizeof prompt,
                                  "File name missing or blank - please enter file name\r\n"
                                  "UNIT %d? ",
                                  static_cast<int>(unit));
    if (!host::write_all(out.fd, prompt, static_cast<size_t>(len)))
      raise_run_time_error(ErrorCode::write_failed, StatementKind::write, kNoHandling, &out);
    const bool whole = read_reply_line(reply);
    set_name_buffer(trim(reply));
    if (!whole) open_error(ErrorCode::open_invalid_argument);
  }
}

// Whether the file `facts` tells of is connected to a unit already.
bool connected_elsewhere(const host::FileFacts &facts) {
  for (const UnitSlot &s : g_units)
    if (s.connected && s.connection.has_identity && facts.has_identity &&
        s.connection.identity == facts.identity)
      return true;
  return false;
}

void release(Connection &c) {
  c.input.close();
  if (c.owns_fd && c.fd >= 0) host::close(c.fd);
  c.fd = host::kNoHandle;
}

} // namespace

std::string_view name_buffer() { return g_name_buffer; }

void set_name_buffer(std::string_view name) {
  // The name may be a part of the buffer itself (trimmed in place).
  if (name.empty()) {
    g_name_buffer.clear();
  } else if (name.data() >= g_name_buffer.data() &&
             name.data() < g_name_buffer.data() + g_name_buffer.size()) {
    const size_t first = static_cast<size_t>(name.data() - g_name_buffer.data());
    g_name_buffer.erase(first + name.size()).erase(0, first);
  } else {
    g_name_buffer.assign(name);
  }
}

void initialize_runtime(int argc, char **argv, int in_fd, int out_fd, int err_fd) {
  static bool registered = false;
  if (!registered) {
    registered = true;
    host::start_process();
    host::at_exit(close_all_units);
    std::set_new_handler(raise_allocation_failure);
  }
  // A standard stream closed at start-up is held on the null device, so that no
  // file opened later takes its descriptor; transfers on it then fail.
  for (int *fd : {&in_fd, &out_fd, &err_fd}) {
    if (host::is_open(*fd)) continue;
    host::hold_on_null_device(*fd);
    *fd = host::kNoHandle;
  }
  g_interactive_input = host::is_console(in_fd);
  g_one_console = g_interactive_input && host::is_console(out_fd);
  g_console_in.fd = in_fd;
  g_console_out.fd = out_fd;
  set_error_descriptor(err_fd);
  begin_run(argc, argv);
}

void begin_run(int argc, char **argv) {
  for (UnitSlot &s : g_units) {
    if (s.connected) release(s.connection);
    s.connected = false;
  }
  g_argc = argc;
  g_argv = argv;
  g_next_argument = 1;
  g_closed = false;
  set_name_buffer({});
  // What a console read buffered and did not take is gone, as it goes with
  // the process that read it.
  const host::Handle in_fd = g_console_in.fd;
  setup_console(g_console_in, kConsoleInput, in_fd, in_fd);
  // One interactive console serves both directions: its output connection
  // also reads.
  setup_console(g_console_out, kConsoleOutput, g_console_out.fd,
                g_one_console ? in_fd : host::kNoHandle);
  reset_run_errors();
}

Connection &console_input() { return g_one_console ? g_console_out : g_console_in; }
Connection &console_output() { return g_console_out; }
bool console_is_interactive() { return g_interactive_input; }

Connection *find_connection(int32_t unit) {
  if (unit == kConsoleInput) return &console_input();
  if (unit == kConsoleOutput) return &console_output();
  UnitSlot *s = slot_of(unit);
  if (!s) return nullptr;
  return &s->connection;
}

int32_t connect_unit(int32_t unit, std::string_view name, std::string_view access,
                     int32_t record_length, std::string_view status) {
  set_name_buffer(trim(name));
  if (name_buffer().empty()) settle_blank_name(unit);
  if (equal_nocase(name_buffer(), "USER")) set_name_buffer("CON");
  const std::string_view settled = name_buffer();
  // The host takes a name up to its first NUL: one that holds a NUL would
  // name another file.
  if (settled.find('\0') != std::string_view::npos) open_error(ErrorCode::open_invalid_argument);
  const Device device = device_for_name(settled);

  // Reconnecting a unit first releases its old connection.
  if (UnitSlot *old = slot_of(unit)) {
    if (old->connection.write_mode && !old->console) (void)flush_output(old->connection);
    release(old->connection);
    old->connected = false;
  }
  UnitSlot *slot = nullptr;
  for (UnitSlot &s : g_units)
    if (!s.connected) {
      slot = &s;
      break;
    }
  if (!slot) open_error(ErrorCode::open_too_many_files);

  slot->console = false; // the slot may have served the console in an earlier run
  Connection &c = slot->connection;
  renew(c);
  c.unit = unit;
  c.record_length = record_length;
  set_connection_name(c, settled);

  if (device.kind == DeviceKind::console) {
    slot->console = true;
    c.is_console = true;
    c.fd = console_output().fd;
    slot->connected = true;
    return 0;
  }
  if (device.kind == DeviceKind::standard_error) {
    c.fd = 2;
    c.input.attach(c.fd, kInputBufferSize);
    attach_output(c);
    slot->connected = true;
    return 0;
  }

  const std::string path(device.kind == DeviceKind::host_path ? std::string_view(device.path)
                                                               : settled);
  // A file connected for appending is opened for reading and writing, pipe
  // or not, so it is compared with the other units once it is open, by the
  // facts of its handle: its name is looked up once. Any other file is
  // looked at first, since a pipe is opened by what it is.
  const bool append = is_append(access);
  host::FileFacts facts;
  bool is_pipe = false;
  const bool looked = !append && host::facts_of(path.c_str(), facts);
  if (looked) {
    is_pipe = facts.is_pipe;
    if (connected_elsewhere(facts)) open_error(ErrorCode::already_connected);
  }

  // Devices, and files asked for as existing ones, are never created; a
  // dangling symbolic link then is a file that is not found.
  const bool create = device.kind != DeviceKind::host_path && !is_old(status);
  // A pipe held open for writing by its own reader never comes to its end, so
  // one that is not connected for appending is opened for reading only.
  const bool read_only = is_pipe && !append;
  // Appending is the host's: each write lands at the end of the file as it is
  // then, so runs that share a list file never write over each other.
  // The first attempt's failure is the one reported.
  host::OpenFailure first = host::OpenFailure::none, later = first;
  host::Handle fd = read_only ? host::kNoHandle
                              : host::open_file(path.c_str(), host::Access::read_write, create,
                                                append, first);
  if (fd < 0)
    fd = host::open_file(path.c_str(), host::Access::read_only, false, false,
                         read_only ? first : later);
  if (fd < 0) fd = host::open_file(path.c_str(), host::Access::write_only, create, append, later);
  if (fd < 0) {
    // A file connected elsewhere is reported as such, also when it cannot be
    // opened again.
    if (append && host::facts_of(path.c_str(), facts) && connected_elsewhere(facts))
      open_error(ErrorCode::already_connected);
    open_error(open_error_code(first));
  }
  // The facts of the name are those of the file it opened: they are not
  // asked for a second time.
  if ((!looked && !host::facts_of(fd, facts)) || facts.is_directory) {
    host::close(fd);
    open_error(ErrorCode::open_access_denied);
  }
  if (append && connected_elsewhere(facts)) {
    host::close(fd);
    open_error(ErrorCode::already_connected);
  }

  c.fd = fd;
  c.owns_fd = true;
  c.identity = facts.identity;
  c.has_identity = facts.has_identity;
  c.seekable = facts.is_regular;
  c.append = append;
  c.input.attach(fd, kInputBufferSize);
  // An appended file is positioned at its end when it is first read; every
  // write lands there by itself.
  c.unpositioned_append = append && c.seekable;
  if (c.seekable && !append) c.input.set_known_size(facts.size);
  // A pipe cannot go back to its start: what it gives is kept for the rewind.
  if (!c.seekable) c.input.keep_for_replay();
  attach_output(c);
  slot->connected = true;
  return 0;
}

void rewind_unit(int32_t unit) {
  UnitSlot *s = slot_of(unit);
  if (!s) return;
  Connection &c = s->connection;
  if (s->console || c.is_console) {
    raise_run_time_error(ErrorCode::rewind_console, StatementKind::rewind, kNoHandling, &c);
    return;
  }
  c.end_of_file = false;
  c.unpositioned_append = false; // from here it is read from its start
  if (c.write_mode) {
    if (!flush_output(c))
      raise_run_time_error(ErrorCode::write_failed, StatementKind::rewind, kNoHandling, &c);
    c.write_mode = false;
  }
  if (c.input.start_replay() || c.input.rewind_within_buffer()) return;
  if (host::seek(c.fd, 0, host::From::start) != 0) {
    raise_run_time_error(ErrorCode::rewind_failed, StatementKind::rewind, kNoHandling, &c);
    return;
  }
  c.input.reset(0);
}

InputPlace input_place(int32_t unit) {
  const Connection *c = find_connection(unit);
  if (!c) return {};
  return {c->input.line_ends() + 1, c->input.line_start()};
}

uint64_t count_lines_to_end(int32_t unit) {
  Connection *c = find_connection(unit);
  if (!c || c->is_console) return 0;
  while (c->input.skip_record() == 0) {
  }
  return c->input.line_ends();
}

std::string_view unit_name(int32_t unit) {
  const Connection *c = find_connection(unit);
  return c ? c->name_view() : std::string_view();
}

int32_t argument_count() { return g_argc; }

void get_argument(int16_t index, char *dest, size_t length, int16_t &status) {
  if (index < 0 || index >= g_argc) {
    status = -1;
    return;
  }
  const std::string_view arg(g_argv[index]);
  const size_t n = std::min(arg.size(), length);
  std::memcpy(dest, arg.data(), n);
  std::memset(dest + n, ' ', length - n);
  status = static_cast<int16_t>(std::min<size_t>(arg.size(), INT16_MAX));
}

void close_all_units() {
  if (g_closed) return;
  g_closed = true;
  for (UnitSlot &s : g_units) {
    if (!s.connected) continue;
    Connection &c = s.connection;
    if (c.write_mode && !s.console && !flush_output(c))
      raise_run_time_error(ErrorCode::write_failed, StatementKind::write, kNoHandling, &c);
    c.input.close();
    if (c.owns_fd && c.fd >= 0 && !host::close(c.fd) && c.write_mode)
      raise_run_time_error(ErrorCode::write_failed, StatementKind::write, kNoHandling, &c);
    c.fd = host::kNoHandle;
    c.owns_fd = false;
  }
  Connection &out = console_output();
  if (out.write_mode && !host::write_all(out.fd, "\r\n", 2))
    raise_run_time_error(ErrorCode::write_failed, StatementKind::write, kNoHandling, &out);
}

} // namespace recio
