// The host calls on Windows (built with mingw-w64). Handles are C run-time
// descriptors over Win32 handles that this file opens itself, so that share
// modes, file identity and the reasons of failures are the system's own.
// Every name and every console text passes through the wide (UTF-16) calls:
// the record services hold names as UTF-8, as they are on Linux.
#include "recio/host/host.h"

#include "recio/host/command_words.h"
#include "recio/host/utf16.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fcntl.h>
#include <initializer_list>
#include <io.h>
#include <string>
#include <string_view>
#include <vector>

// The run-time library's own reading of the command line is not used: it
// gives the words in the ANSI code page. command_line() reads the wide one.
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
    facts.size = static_cast<Offset>((uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow);
  }
  return true;
}

bool is_separator(wchar_t c) {
  return c == L'\\' || c == L'/';
}

// A name in the device namespace (\\.\COM1, \\.\pipe\name) or already in
// the long form (\\?\C:\...): the system takes it as it stands.
bool is_device_namespace(std::wstring_view path) {
  return path.size() >= 4 && is_separator(path[0]) && is_separator(path[1]) &&
         (path[2] == L'.' || path[2] == L'?') && is_separator(path[3]);
}

std::wstring wide_of(std::u16string_view units) {
  return {units.begin(), units.end()};
}
std::u16string units_of(std::wstring_view wide) {
  return {wide.begin(), wide.end()};
}

// Longest path the system takes, in UTF-16 units with the terminating NUL.
constexpr size_t kLongestPath = 32767;

// GetFullPathNameW as a string; empty when it fails.
std::wstring system_full_path(const std::wstring &name) {
  DWORD size = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
  while (size > 0) {
    std::wstring full(size, L'\0');
    const DWORD n = GetFullPathNameW(name.c_str(), size, full.data(), nullptr);
    if (n < size) {
      full.resize(n);
      return full;
    }
    size = n;
  }
  return {};
}

enum class LastPart : uint8_t { file_name, pattern };

// The full path of `name` in the long form \\?\, which the system opens as
// it stands: no DOS device name (con, aux, lpt1 with any extension, in any
// directory) and no limit of 260 characters applies to it. The directory
// part is settled by the system's own rules (the current directory, "." and
// "..", "/" as "\\", a drive's own current directory, UNC shares); the last
// part is appended here, since the system would take con.sao or lpt1.out as
// a device. Of a file name it drops trailing dots and blanks, as the system
// does at the end of a path; a pattern keeps them. False when the path is
// longer than the system takes or cannot be found.
bool long_form(const std::wstring &name, LastPart kind, std::wstring &out) {
  if (name.empty()) return false;
  if (is_device_namespace(name)) {
    out = name;
    return name.size() < kLongestPath;
  }
  size_t start = name.find_last_of(L"\\/");
  start = start == std::wstring::npos ? 0 : start + 1;
  if (start == 0 && name.size() >= 2 && name[1] == L':') start = 2; // C:name
  std::wstring_view last = std::wstring_view(name).substr(start);
  std::wstring full;
  if (last.find_first_not_of(L". ") == std::wstring_view::npos) {
    // Nothing, ".", "..": the system's rules alone, and never a device.
    full = system_full_path(name);
  } else {
    if (kind == LastPart::file_name) last = last.substr(0, last.find_last_not_of(L". ") + 1);
    full = system_full_path(start == 0 ? std::wstring(L".") : name.substr(0, start));
    if (full.empty()) return false;
    if (!is_separator(full.back())) full.push_back(L'\\');
    full.append(last);
  }
  if (full.empty()) return false;
  if (is_device_namespace(full))
    out = full;
  else if (is_separator(full[0]) && is_separator(full[1]))
    out = L"\\\\?\\UNC\\" + full.substr(2);
  else
    out = L"\\\\?\\" + full;
  return out.size() < kLongestPath;
}

// The wide name the system is given for a UTF-8 name; false when the name is
// not well-formed UTF-8 or too long, which the caller reports as an invalid
// name.
bool system_name(const char *utf8, std::wstring &out) {
  std::u16string units;
  return utf8_to_utf16(utf8, units) && long_form(wide_of(units), LastPart::file_name, out);
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

// The names a pattern matches, in name order: the order of the system's own
// comparison of names, without regard to case (that of NTFS directories),
// whatever the file system gives them in. Each keeps the directory as typed.
std::vector<std::wstring> matching_names(const std::wstring &pattern) {
  std::vector<std::wstring> names;
  std::wstring search;
  if (!long_form(pattern, LastPart::pattern, search)) return names;
  const size_t after = pattern.find_last_of(L"\\/:");
  const std::wstring directory = after == std::wstring::npos ? L"" : pattern.substr(0, after + 1);
  WIN32_FIND_DATAW found;
  const HANDLE h =
      FindFirstFileExW(search.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring_view name(found.cFileName);
    if (name != L"." && name != L"..") names.push_back(directory + std::wstring(name));
  } while (FindNextFileW(h, &found));
  FindClose(h);
  std::sort(names.begin(), names.end(), [](const std::wstring &a, const std::wstring &b) {
    const int order = CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                           static_cast<int>(b.size()), TRUE);
    return order == CSTR_EQUAL ? a < b : order == CSTR_LESS_THAN;
  });
  return names;
}

// Consoles: text passes as UTF-16 through the console's own calls, whatever
// its code page, and as UTF-8 to and from the record services.
bool is_console_handle(HANDLE h) {
  // _isatty holds for every character device, the null device included; only
  // a console has a console mode.
  DWORD mode = 0;
  return h != INVALID_HANDLE_VALUE && GetFileType(h) == FILE_TYPE_CHAR &&
         GetConsoleMode(h, &mode) != 0;
}

// What the console gave as UTF-8 and the caller had no room for yet.
std::string g_console_text;
size_t g_console_taken = 0;

ByteCount read_console(HANDLE h, char *dest, size_t size) {
  if (g_console_taken == g_console_text.size()) {
    wchar_t units[4096];
    DWORD got = 0;
    if (!ReadConsoleW(h, units, 4095, &got, nullptr)) {
      errno = EIO;
      return -1;
    }
    // A character beyond U+FFFF whose second half the console still holds.
    if (got > 0 && units[got - 1] >= 0xD800 && units[got - 1] <= 0xDBFF) {
      DWORD more = 0;
      if (ReadConsoleW(h, units + got, 1, &more, nullptr)) got += more;
    }
    // A line that begins with Ctrl-Z is the end of the input, as the
    // system's reading of a console has it.
    if (got == 0 || units[0] == 0x1A) return 0;
    g_console_text.clear();
    g_console_taken = 0;
    (void)utf16_to_utf8(units_of(std::wstring_view(units, got)), g_console_text);
  }
  const size_t n = std::min(size, g_console_text.size() - g_console_taken);
  std::memcpy(dest, g_console_text.data() + g_console_taken, n);
  g_console_taken += n;
  return static_cast<ByteCount>(n);
}

// The bytes of a character that one write began and the next may finish.
std::string g_console_carry;
HANDLE g_console_carry_of = INVALID_HANDLE_VALUE;

ByteCount write_console(HANDLE h, const char *data, size_t size) {
  std::string text;
  if (g_console_carry_of == h) text = g_console_carry;
  text.append(data, size);
  std::u16string units;
  const size_t left = utf8_to_utf16_for_display(text, units);
  g_console_carry.assign(text, text.size() - left, left);
  g_console_carry_of = h;
  const std::wstring wide = wide_of(units);
  for (size_t done = 0; done < wide.size();) {
    DWORD written = 0;
    const auto ask = static_cast<DWORD>(std::min<size_t>(wide.size() - done, 8192));
    if (!WriteConsoleW(h, wide.data() + done, ask, &written, nullptr) || written == 0) {
      errno = EIO;
      return -1;
    }
    done += written;
  }
  return static_cast<ByteCount>(size);
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

std::vector<std::string> expand_command_line(std::u16string_view line) {
  std::vector<std::string> words;
  for (CommandWord &word : split_command_line(line)) {
    // "/?" asks a Windows program for help: it stays as typed instead of
    // naming whatever one-letter name the root of the drive holds.
    std::vector<std::wstring> names;
    if (word.pattern && word.text != u"/?") names = matching_names(wide_of(word.text));
    if (names.empty()) names.push_back(wide_of(word.text));
    for (const std::wstring &name : names) {
      std::string utf8;
      (void)utf16_to_utf8(units_of(name), utf8); // a lone surrogate fails at the open
      words.push_back(std::move(utf8));
    }
  }
  return words;
}

void command_line(int &argc, char **&argv) {
  // Kept until the process ends, past every exit handler.
  static auto *words = new std::vector<std::string>;
  static auto *pointers = new std::vector<char *>;
  const wchar_t *line = GetCommandLineW();
  *words = expand_command_line(units_of(line ? std::wstring_view(line) : std::wstring_view()));
  pointers->clear();
  for (std::string &word : *words)
    pointers->push_back(word.data());
  pointers->push_back(nullptr);
  argc = static_cast<int>(words->size());
  argv = pointers->data();
}

bool facts_of(const char *path, FileFacts &facts) {
  if (names_standard_input(path)) {
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    return in != nullptr && in != INVALID_HANDLE_VALUE && describe(in, facts);
  }
  std::wstring name;
  if (!system_name(path, name)) return false;
  // Opening a name of the device namespace to look at it would take the
  // device or a pipe instance: it is not looked at.
  if (name.compare(0, 4, L"\\\\?\\") != 0) return false;
  // Asking for no access still finds the file's identity; a directory needs
  // backup semantics to be opened at all.
  const HANDLE h = CreateFileW(name.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr);
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
  std::wstring name;
  if (!system_name(path, name)) {
    failure = OpenFailure::invalid_argument;
    errno = EINVAL;
    return kNoHandle;
  }
  const HANDLE h =
      CreateFileW(name.c_str(), rights, kShareAll, nullptr, create ? OPEN_ALWAYS : OPEN_EXISTING,
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
  const HANDLE h = CreateFileW(L"\\\\.\\NUL", GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                               OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  const int fd = adopt(h, _O_RDWR);
  if (fd >= 0 && fd != standard_stream) {
    _dup2(fd, standard_stream);
    _close(fd);
  }
}

ByteCount read(Handle handle, void *dest, size_t size) {
  const HANDLE h = os_handle(handle);
  if (is_console_handle(h)) return read_console(h, static_cast<char *>(dest), size);
  return _read(handle, dest, static_cast<unsigned>(size < INT_MAX ? size : INT_MAX));
}

ByteCount write(Handle handle, const void *data, size_t size) {
  const HANDLE h = os_handle(handle);
  if (is_console_handle(h)) return write_console(h, static_cast<const char *>(data), size);
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
  return is_console_handle(os_handle(handle));
}

// A file in the user's temporary directory that no one else may open and that
// the system deletes when its handle closes, also when the process is ended.
// The directory may have any name and length: the file is made here, under a
// name of this process's own, rather than by GetTempFileName, which is held
// to 260 characters.
Handle open_spill_file() {
  std::wstring dir(MAX_PATH + 1, L'\0');
  DWORD n = GetTempPathW(static_cast<DWORD>(dir.size()), dir.data());
  if (n > dir.size()) {
    dir.resize(n);
    n = GetTempPathW(static_cast<DWORD>(dir.size()), dir.data());
  }
  errno = ENOENT;
  if (n == 0 || n > dir.size()) return kNoHandle;
  dir.resize(n);
  static unsigned serial = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::wstring path;
    const std::wstring leaf = L"vornet-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(serial++) +
                              L".tmp";
    if (!long_form(dir + leaf, LastPart::file_name, path)) return kNoHandle;
    const HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h != INVALID_HANDLE_VALUE) return adopt(h, _O_RDWR);
    if (GetLastError() != ERROR_FILE_EXISTS) break;
  }
  errno = errno_of(failure_of(GetLastError()));
  return kNoHandle;
}

// In the device namespace, so that they are opened as the devices they are.
const char *device_path(Device device) {
  static constexpr const char *kPaths[] = {
      "\\\\.\\NUL",  "\\\\.\\LPT1", "\\\\.\\LPT2", "\\\\.\\LPT3", "\\\\.\\LPT4",
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

} // namespace recio::host
