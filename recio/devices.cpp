#include "recio/units.h"

#include "recio/text.h"

#include <array>

namespace recio {

namespace {

struct DeviceName {
  std::string_view name;
  Device device;
};

// Printers map to the parallel-port printer devices, serial ports to the
// serial lines; COM1, AUX and LINE name the same first serial line.
constexpr std::array<DeviceName, 16> kDevices{{
    {"CON", {DeviceKind::console}},
    {"USER", {DeviceKind::console}},
    {"ERR", {DeviceKind::standard_error}},
    {"NUL", {DeviceKind::host_path, "/dev/null"}},
    {"PRN", {DeviceKind::host_path, "/dev/lp0"}},
    {"LPT1", {DeviceKind::host_path, "/dev/lp0"}},
    {"LPT2", {DeviceKind::host_path, "/dev/lp1"}},
    {"LPT3", {DeviceKind::host_path, "/dev/lp2"}},
    {"LPT4", {DeviceKind::host_path, "/dev/lp3"}},
    {"COM1", {DeviceKind::host_path, "/dev/ttyS0"}},
    {"AUX", {DeviceKind::host_path, "/dev/ttyS0"}},
    {"LINE", {DeviceKind::host_path, "/dev/ttyS0"}},
    {"COM2", {DeviceKind::host_path, "/dev/ttyS1"}},
    {"COM3", {DeviceKind::host_path, "/dev/ttyS2"}},
    {"COM4", {DeviceKind::host_path, "/dev/ttyS3"}},
    {"", {}},
}};

} // namespace

Device device_for_name(std::string_view name) {
  const size_t dot = name.rfind('.');
  const std::string_view base = dot == std::string_view::npos ? name : name.substr(0, dot);
  if (base.size() < 3 || base.size() > 4) return {};
  if (dot != std::string_view::npos) {
    // err.txt, line.dat, lpt1.out and user.x are ordinary files.
    const char first = base[0];
    if (first == 'E' || first == 'e' || first == 'L' || first == 'l' || first == 'U' ||
        first == 'u')
      return {};
  }
  for (const DeviceName &d : kDevices)
    if (!d.name.empty() && equal_nocase(base, d.name)) return d.device;
  return {};
}

} // namespace recio
