// The host calls on Windows (built with mingw-w64). Handles are C run-time
// descriptors over Win32 handles that this file opens itself, so that share
// modes, file identity and the reasons of failures are the system's own.
#include "recio/host/host.h"

#include <windows.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <io.h>

// Command-line words reach the program as the user typed them: the run-time
// library does not expand wildcards in them.
extern "C" {
int _dowildcard = 0;
}

namespace recio::host {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE os_handle(Handle handle) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(handle));
}

// A run-time library call with a bad descriptor fails with EBADF instead of
// ending the process.
void ignore_invalid_parameter(const wchar_t *, const wchar_t *, const wchar_t *, unsigned,
                              uintptr_t) {}

OpenFailure failure_of(DWORD error) {
  switch (error) {
  case ERROR_FILE_NOT_FOUND:
  case ERROR_PATH_NOT_FOUND:
  case ERROR_INVALID_DRIVE:
  case ERROR_BAD_NETPATH:
  case ERROR_BAD_NET_NAME:
  case ERROR_NOT_READY:
    return OpenFailure::not_found;
  case ERROR_ACCESS_DENIED:
  case ERROR_SHARING_VIOLATION:
  case ERROR_LOCK_VIOLATION:
  case ERROR_WRITE_PROTECT:
    return OpenFailure::access_denied;
  case ERROR_FILE_EXISTS:
  case ERROR_ALREADY_EXISTS:
    return OpenFailure::exists;
  case ERROR_INVALID_NAME:
  case ERROR_INVALID_PARAMETER:
  case ERROR_FILENAME_EXCED_RANGE:
  case ERROR_BAD_PATHNAME:
  case ERROR_DIRECTORY:
    return OpenFailure::invalid_argument;
  case ERROR_TOO_MANY_OPEN_FILES:
    return OpenFailure::too_many_files;
  default:
    return OpenFailure::other;
  }
}

int errno_of(OpenFailure failure) {
  switch (failure) {
  case OpenFailure::not_found:
    return ENOENT;
  case OpenFailure::access_denied:
    return EACCES;
  case OpenFailure::exists:
    return EEXIST;
  case OpenFailure::invalid_argument:
    return EINVAL;
  case OpenFailure::too_many_files:
    return EMFILE;
  default:
    return EIO;
  }
}

bool describe(HANDLE h, FileFacts &facts) {
  facts = FileFacts{};
  const DWORD type = GetFileType(h);
  if (type == FILE_TYPE_UNKNOWN && GetLastError() != NO_ERROR) return false;
  facts.is_pipe = type == FILE_TYPE_PIPE;
  BY_HANDLE_FILE_INFORMATION info{};
  if (type == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info)) {
    facts.identity = {info.dwVolumeSerialNumber,
                      (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
    facts.has_identity = true;
    facts.is_directory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts.is_regular = !facts.is_directory;
  }
  return true;
}

// A name in the device namespace (\\.\COM1, \\.\pipe\name): opening it to
// look at it would take the device or a pipe instance, so it is not looked at.
bool is_device_namespace(const char *path) {
  return (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/') &&
         (path[2] == '.' || path[2] == '?') && (path[3] == '\\' || path[3] == '/');
}

// The POSIX names of standard input, as scripts written for Linux and shells
// such as Git Bash pass them: the system would open a device of that name
// that reads nothing, so they are given the standard input of the process.
bool names_standard_input(const char *path) {
  for (const char *name : {"/dev/stdin", "/dev/fd/0", "/proc/self/fd/0"})
    if (std::strcmp(path, name) == 0) return true;
  return false;
}

HANDLE duplicate_standard_input() {
  HANDLE copy = INVALID_HANDLE_VALUE;
  const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  if (in == nullptr || in == INVALID_HANDLE_VALUE ||
      !DuplicateHandle(GetCurrentProcess(), in, GetCurrentProcess(), &copy, 0, FALSE,
                       DUPLICATE_SAME_ACCESS))
    return INVALID_HANDLE_VALUE;
  return copy;
}

Handle adopt(HANDLE h, int flags) {
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), flags | _O_BINARY);
  if (fd < 0) {
    CloseHandle(h);
    errno = EMFILE;
  }
  return fd;
}

// The byte that stands for the whole file in a lock: far past any data, so
// that the lock keeps other runs out without keeping readers from the lines.
constexpr DWORD kLockOffsetLow = 0xFFFFFFFE;
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

} // namespace

void start_process() {
  _set_invalid_parameter_handler(ignore_invalid_parameter);
  // No dialog box for a drive without a medium or a file that cannot be read.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  // Bytes pass unchanged: the program writes its own CR LF.
  for (int fd : {0, 1, 2})
    (void)_setmode(fd, _O_BINARY);
}

void at_exit(void (*closing)()) {
  std::atexit(closing);
}

bool facts_of(const char *path, FileFacts &facts) {
  if (names_standard_input(path)) {
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    return in != nullptr && in != INVALID_HANDLE_VALUE && describe(in, facts);
  }
  if (is_device_namespace(path)) return false;
  // Asking for no access still finds the file's identity; a directory needs
  // backup semantics to be opened at all.
  const HANDLE h =
      CreateFileA(path, 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool ok = describe(h, facts);
  CloseHandle(h);
  return ok;
}

bool facts_of(Handle handle, FileFacts &facts) {
  const HANDLE h = os_handle(handle);
  return h != INVALID_HANDLE_VALUE && describe(h, facts);
}

Handle open_file(const char *path, Access access, bool create, bool append, OpenFailure &failure) {
  DWORD rights = 0;
  int flags = 0;
  // Appending asks for FILE_APPEND_DATA alone: the system then puts every
  // write at the end of the file, so lines of runs sharing it stay whole.
  const DWORD write_rights = append ? FILE_APPEND_DATA | SYNCHRONIZE : GENERIC_WRITE;
  switch (access) {
  case Access::read_write:
    rights = GENERIC_READ | write_rights;
    flags = _O_RDWR;
    break;
  case Access::read_only:
    rights = GENERIC_READ;
    flags = _O_RDONLY;
    break;
  case Access::write_only:
    rights = write_rights;
    flags = _O_WRONLY;
    break;
  }
  if (append) flags |= _O_APPEND;
  if (names_standard_input(path)) {
    if (access != Access::read_only) {
      failure = OpenFailure::access_denied;
      errno = EACCES;
      return kNoHandle;
    }
    const HANDLE in = duplicate_standard_input();
    if (in == INVALID_HANDLE_VALUE) {
      failure = OpenFailure::not_found;
      errno = ENOENT;
      return kNoHandle;
    }
    const Handle fd = adopt(in, flags);
    failure = fd < 0 ? OpenFailure::too_many_files : OpenFailure::none;
    return fd;
  }
  const HANDLE h =
      CreateFileA(path, rights, kShareAll, nullptr, create ? OPEN_ALWAYS : OPEN_EXISTING,
                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    failure = failure_of(GetLastError());
    errno = errno_of(failure);
    return kNoHandle;
  }
  const Handle fd = adopt(h, flags);
  failure = fd < 0 ? OpenFailure::too_many_files : OpenFailure::none;
  return fd;
}

bool close(Handle handle) {
  return _close(handle) == 0;
}

bool is_open(Handle handle) {
  const intptr_t h = _get_osfhandle(handle);
  return h != -1 && h != -2;
}

void hold_on_null_device(Handle standard_stream) {
  if (standard_stream < 0 || standard_stream > 2) return;
  const HANDLE h = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                               OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  const int fd = adopt(h, _O_RDWR);
  if (fd >= 0 && fd != standard_stream) {
    _dup2(fd, standard_stream);
    _close(fd);
  }
}

ByteCount read(Handle handle, void *dest, size_t size) {
  return _read(handle, dest, static_cast<unsigned>(size < INT_MAX ? size : INT_MAX));
}

ByteCount write(Handle handle, const void *data, size_t size) {
  return _write(handle, data, static_cast<unsigned>(size < INT_MAX ? size : INT_MAX));
}

bool write_all(Handle handle, const char *data, size_t size) {
  while (size > 0) {
    const ByteCount n = write(handle, data, size);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

Offset seek(Handle handle, Offset offset, From from) {
  const int whence = from == From::start ? SEEK_SET : from == From::current ? SEEK_CUR : SEEK_END;
  return _lseeki64(handle, offset, whence);
}

bool cut(Handle handle, Offset size) {
  const HANDLE h = os_handle(handle);
  if (h == INVALID_HANDLE_VALUE) return false;
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = size;
  if (SetFileInformationByHandle(h, FileEndOfFileInfo, &end, sizeof end)) return true;
  if (GetLastError() != ERROR_ACCESS_DENIED) return false;
  // A handle that may only append cannot cut; a second handle on the same
  // file, opened for writing, can.
  const HANDLE writer = ReOpenFile(h, GENERIC_WRITE, kShareAll, 0);
  if (writer == INVALID_HANDLE_VALUE) return false;
  const bool ok = SetFileInformationByHandle(writer, FileEndOfFileInfo, &end, sizeof end);
  CloseHandle(writer);
  return ok;
}

bool size_of(Handle handle, Offset &size) {
  LARGE_INTEGER n{};
  const HANDLE h = os_handle(handle);
  if (h == INVALID_HANDLE_VALUE || !GetFileSizeEx(h, &n)) return false;
  size = n.QuadPart;
  return true;
}

bool is_console(Handle handle) {
  // _isatty holds for every character device, the null device included; only
  // a console has a console mode.
  DWORD mode = 0;
  const HANDLE h = os_handle(handle);
  return h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode) != 0;
}

// A file in the user's temporary directory that no one else may open and that
// the system deletes when its handle closes, also when the process is ended.
Handle open_spill_file() {
  char dir[MAX_PATH + 1];
  char path[MAX_PATH + 1];
  const DWORD n = GetTempPathA(sizeof dir, dir);
  if (n == 0 || n > sizeof dir || GetTempFileNameA(dir, "vor", 0, path) == 0) return kNoHandle;
  const HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    DeleteFileA(path);
    return kNoHandle;
  }
  return adopt(h, _O_RDWR);
}

const char *device_path(Device device) {
  static constexpr const char *kPaths[] = {
      "NUL",         "LPT1",        "LPT2",        "LPT3",        "LPT4",
      "\\\\.\\COM1", "\\\\.\\COM2", "\\\\.\\COM3", "\\\\.\\COM4",
  };
  return kPaths[static_cast<size_t>(device)];
}

bool lock(Handle handle) {
  const HANDLE h = os_handle(handle);
  OVERLAPPED at{};
  at.Offset = kLockOffsetLow;
  at.OffsetHigh = kLockOffsetHigh;
  return h != INVALID_HANDLE_VALUE && LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at);
}

void unlock(Handle handle) {
  const HANDLE h = os_handle(handle);
  OVERLAPPED at{};
  at.Offset = kLockOffsetLow;
  at.OffsetHigh = kLockOffsetHigh;
  if (h != INVALID_HANDLE_VALUE) (void)UnlockFileEx(h, 0, 1, 0, &at);
}

// A view of a file's section. The system refuses to cut a file while a view
// of it exists, so its bytes stay readable.
size_t view_granularity() {
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  return info.dwAllocationGranularity;
}

bool map_view(Handle handle, Offset offset, size_t size, FileView &view) {
  const HANDLE h = os_handle(handle);
  if (h == INVALID_HANDLE_VALUE || size == 0) return false;
  const HANDLE section = CreateFileMappingW(h, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (!section) return false;
  const auto at = static_cast<uint64_t>(offset);
  void *p = MapViewOfFile(section, FILE_MAP_READ, static_cast<DWORD>(at >> 32),
                          static_cast<DWORD>(at & 0xFFFFFFFFu), size);
  CloseHandle(section); // the view keeps the section
  if (!p) return false;
  view.data = static_cast<const char *>(p);
  view.mapping = p;
  view.mapped = size;
  return true;
}

void unmap_view(FileView &view) {
  if (!view.mapping) return;
  UnmapViewOfFile(view.mapping);
  view = FileView{};
}

} // namespace recio::host
