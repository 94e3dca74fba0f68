// Machine facts on Linux: the user, the host name, the network adapter and the OS release,
// each as the Windows call the machine identity was built on would give it (the OS text without
// a build number: see os_version_from).
#include <limits.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/host_detail.h"

namespace brindle::platform {
namespace detail {
namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() &&
         (s.front() == ' ' || s.front() == '\t' || s.front() == '\r' || s.front() == '\n'))
    s.remove_prefix(1);
  while (!s.empty() &&
         (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
    s.remove_suffix(1);
  return s;
}

// First line of a small sysfs file, trimmed; empty when unreadable.
std::string read_first_line(const std::string& path) {
  std::string bytes;
  if (!read_file(path, bytes)) return {};
  std::string_view s(bytes);
  return std::string(trim(s.substr(0, s.find('\n'))));
}

bool connected(const std::string& dir) {
  const std::string state = read_first_line(dir + "/operstate");
  if (state == "up") return true;
  // Some drivers never report an operational state; the carrier then tells.
  return state == "unknown" && read_first_line(dir + "/carrier") == "1";
}

// "aa:bb:cc:dd:ee:ff" -> "AA:BB:CC:DD:EE:FF"; empty unless six bytes, not all zero.
std::string normalise_mac(std::string text) {
  if (text.size() != 17) return {};
  bool nonzero = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char& c = text[i];
    if (i % 3 == 2) {
      if (c != ':') return {};
      continue;
    }
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return {};
    if (c != '0') nonzero = true;
  }
  return nonzero ? text : std::string();
}

// True when the interface's device hangs off the PCI bus directly (a USB adapter's path also
// passes a PCI host controller, so anything behind "/usb" is left out).
bool on_pci_bus(const std::string& dir) {
  char resolved[PATH_MAX];
  if (!::realpath((dir + "/device").c_str(), resolved)) return false;
  std::string_view path(resolved);
  return path.find("/devices/pci") != std::string_view::npos &&
         path.find("/usb") == std::string_view::npos;
}

std::string os_release_field(std::string_view contents, std::string_view key) {
  while (!contents.empty()) {
    std::size_t nl = contents.find('\n');
    std::string_view line = trim(contents.substr(0, nl));
    contents = nl == std::string_view::npos ? std::string_view() : contents.substr(nl + 1);
    if (line.size() <= key.size() || line.substr(0, key.size()) != key || line[key.size()] != '=')
      continue;
    std::string_view raw = line.substr(key.size() + 1);
    if (raw.size() >= 2 && (raw.front() == '"' || raw.front() == '\'') &&
        raw.back() == raw.front()) {
      const bool double_quoted = raw.front() == '"';
      raw = raw.substr(1, raw.size() - 2);
      std::string value;
      for (std::size_t i = 0; i < raw.size(); ++i) {
        // Shell escapes inside double quotes: \" \\ \$ \`
        if (double_quoted && raw[i] == '\\' && i + 1 < raw.size() &&
            std::string_view("\"\\$`").find(raw[i + 1]) != std::string_view::npos) {
          ++i;
        }
        value.push_back(raw[i]);
      }
      return value;
    }
    return std::string(raw);
  }
  return {};
}

}  // namespace

std::string mac_address_from(const std::string& class_net_dir) {
  std::vector<DirEntry> entries = list_directory(class_net_dir);  // sorted by name
  std::string any_connected;
  for (const DirEntry& entry : entries) {
    if (entry.name == "lo") continue;
    const std::string dir = class_net_dir + "/" + entry.name;
    if (read_first_line(dir + "/type") == "772") continue;  // loopback under another name
    if (!connected(dir)) continue;
    std::string mac = normalise_mac(read_first_line(dir + "/address"));
    if (mac.empty()) continue;
    if (on_pci_bus(dir)) return mac;
    if (any_connected.empty()) any_connected = mac;
  }
  return any_connected;
}

std::string os_version_from(std::string_view os_release, std::string_view machine) {
  std::string name = os_release_field(os_release, "NAME");
  if (name.empty()) name = os_release_field(os_release, "ID");
  if (name.empty()) name = "Linux";
  std::string edition = os_release_field(os_release, "VERSION_ID");
  if (edition.empty()) edition = os_release_field(os_release, "BUILD_ID");
  std::string text = name + " ";
  if (name.find(edition) == std::string::npos) text += edition;
  const bool wide = machine.find("64") != std::string_view::npos || machine == "s390x";
  text += wide ? " x64" : " x86";
  return text;
}

std::string fit_buffer(std::string name, std::size_t buffer_size) {
  if (buffer_size == 0 || name.size() > buffer_size - 1) return {};
  return name;
}

}  // namespace detail

namespace {

std::string utf8_to_gbk_text(const std::string& utf8) {
  return wide_to_multibyte(multibyte_to_wide(utf8, kCodePageUtf8), kCodePageGbk);
}

}  // namespace

std::string user_name() {
  try {
    long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384);
    struct passwd entry;
    struct passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
      return {};
    return detail::fit_buffer(utf8_to_gbk_text(found->pw_name), 50);
  } catch (...) {
    return {};
  }
}

std::string host_name() {
  try {
    char buffer[HOST_NAME_MAX + 1] = {};
    if (::gethostname(buffer, sizeof buffer - 1) != 0) return {};
    return detail::fit_buffer(utf8_to_gbk_text(buffer), 16);
  } catch (...) {
    return {};
  }
}

std::string mac_address_text() {
  try {
    return detail::mac_address_from("/sys/class/net");
  } catch (...) {
    return {};
  }
}

std::string os_version_text() {
  try {
    std::string contents;
    if (!read_file("/etc/os-release", contents)) (void)read_file("/usr/lib/os-release", contents);
    struct utsname names;
    if (::uname(&names) != 0) return {};
    return utf8_to_gbk_text(detail::os_version_from(contents, names.machine));
  } catch (...) {
    return {};
  }
}

}  // namespace brindle::platform
