// The few calls the record services make of the host system. Everything that
// differs between POSIX and Windows sits behind this interface, in
// host_posix.cpp and host_windows.cpp, of which a build compiles one; nothing
// else calls the host directly.
//
// A handle is a C run-time file descriptor on both hosts, so that standard
// input, output and error are handles 0, 1 and 2 everywhere. Offsets are 64
// bits on both. Failures leave errno set, as the C library does.
#pragma once

#include <cstddef>
#include <cstdint>

namespace recio::host {

using Handle = int;
inline constexpr Handle kNoHandle = -1;
using Offset = int64_t;
using ByteCount = std::ptrdiff_t; // bytes moved, or -1 with errno set

// Identifies a file whatever name it was opened under: device and inode on
// POSIX, volume serial number and file index on Windows.
struct FileIdentity {
  uint64_t volume = 0;
  uint64_t index = 0;
  friend bool operator==(const FileIdentity &, const FileIdentity &) = default;
};

// What a name or a handle refers to.
struct FileFacts {
  FileIdentity identity;
  bool has_identity = false; // pipes and devices on Windows have none
  bool is_directory = false;
  bool is_pipe = false;    // a pipe or FIFO: read once, never repositioned
  bool is_regular = false; // a file that can be repositioned and cut
  Offset size = 0;         // of a regular file, when the facts were taken
};

// Why an open failed, in the host-neutral terms the connect reports.
enum class OpenFailure : uint8_t {
  none,
  not_found,
  access_denied,
  exists,
  invalid_argument,
  too_many_files,
  other,
};

enum class Access : uint8_t { read_write, read_only, write_only };

// Once, before anything else: standard streams in binary mode where the host
// has a text mode, and a closed pipe made a write failure instead of the end
// of the process. The floating-point environment is left as the host set it:
// the one conversion that can overflow is checked before it is made, and
// reported as the trap would be, on every host alike.
void start_process();

// Runs `closing` once when the process ends through exit().
void at_exit(void (*closing)());

// The command line's words as UTF-8, argument 0 first, for main() to call
// once before anything else; the words live until the process ends. POSIX
// hands the arguments over as the bytes they are. Windows splits its wide
// command line as its C run-time library does, and replaces each word with a
// "*" or "?" outside quotes by the names it matches, in name order, as a
// console program's user expects of `vornet.exe *.SAO`; a word that matches
// nothing stays as it is.
void command_line(int &argc, char **&argv);

// Names are UTF-8 on every host (Windows converts them for its wide calls)
// and are used whole: a name longer than the host allows fails to open as an
// invalid argument.

// Facts about the file a name refers to; false when there is none.
bool facts_of(const char *path, FileFacts &facts);
bool facts_of(Handle handle, FileFacts &facts);

// Opens `path` in binary mode, not inherited by child processes. With
// `create` a missing file is created empty; with `append` every write goes to
// the end of the file, so that records of runs sharing the file stay whole.
// kNoHandle on failure, with `failure` saying why.
Handle open_file(const char *path, Access access, bool create, bool append, OpenFailure &failure);
// False when the host reports a failure (held data that could not be written).
bool close(Handle handle);
// Whether the handle is open (a standard stream may start closed).
bool is_open(Handle handle);
// Puts the null device under a closed standard stream, so that no file opened
// later takes its handle.
void hold_on_null_device(Handle standard_stream);

// Reads and writes retry when a signal interrupts them.
ByteCount read(Handle handle, void *dest, size_t size);
ByteCount write(Handle handle, const void *data, size_t size);
// Writes all of `data`; false when the host refuses.
bool write_all(Handle handle, const char *data, size_t size);

enum class From : uint8_t { start, current, end };
// The new position, or -1.
Offset seek(Handle handle, Offset offset, From from);
// Cuts the file at `size` bytes.
bool cut(Handle handle, Offset size);
// The file's size now, without moving its position.
bool size_of(Handle handle, Offset &size);

// Whether the handle is an interactive console (a terminal).
bool is_console(Handle handle);

// A temporary file for what a pipe gave: no other process can open it while
// it is written, and it is gone when it is closed or the process ends,
// however it ends. kNoHandle on failure.
Handle open_spill_file();

// The host devices that the device names connect to.
enum class Device : uint8_t {
  null_device,
  printer1,
  printer2,
  printer3,
  printer4,
  serial1,
  serial2,
  serial3,
  serial4,
};
const char *device_path(Device device);

// Holds the file exclusively against other processes that lock it too,
// waiting while another holds it, until unlock or close. False when the file
// system offers no such lock (the caller decides whether that matters).
bool lock(Handle handle);
void unlock(Handle handle);

} // namespace recio::host
