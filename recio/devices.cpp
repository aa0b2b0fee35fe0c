#include "recio/units.h"

#include "recio/host/host.h"
#include "recio/text.h"

#include <array>

namespace recio {

namespace {

struct DeviceName {
  std::string_view name;
  DeviceKind kind;
  host::Device host = host::Device::null_device; // for host_path
};

// COM1, AUX and LINE name the same first serial line; the host says which
// device each one is.
constexpr std::array<DeviceName, 16> kDevices{{
    {"CON", DeviceKind::console},
    {"USER", DeviceKind::console},
    {"ERR", DeviceKind::standard_error},
    {"NUL", DeviceKind::host_path, host::Device::null_device},
    {"PRN", DeviceKind::host_path, host::Device::printer1},
    {"LPT1", DeviceKind::host_path, host::Device::printer1},
    {"LPT2", DeviceKind::host_path, host::Device::printer2},
    {"LPT3", DeviceKind::host_path, host::Device::printer3},
    {"LPT4", DeviceKind::host_path, host::Device::printer4},
    {"COM1", DeviceKind::host_path, host::Device::serial1},
    {"AUX", DeviceKind::host_path, host::Device::serial1},
    {"LINE", DeviceKind::host_path, host::Device::serial1},
    {"COM2", DeviceKind::host_path, host::Device::serial2},
    {"COM3", DeviceKind::host_path, host::Device::serial3},
    {"COM4", DeviceKind::host_path, host::Device::serial4},
    {"", DeviceKind::none},
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
    if (!d.name.empty() && equal_nocase(base, d.name))
      return {d.kind, d.kind == DeviceKind::host_path ? host::device_path(d.host) : nullptr};
  return {};
}

} // namespace recio
