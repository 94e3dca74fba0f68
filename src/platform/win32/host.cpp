// Machine facts on Windows: the user, the host name, the network adapter and the OS text, each
// as the calls the machine identity was first built on gave them, so logins stored on this
// computer stay valid.

#include <algorithm>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/wide.h"

namespace brindle::platform {
namespace {

// A name as a call with a fixed buffer of `buffer_size` bytes gives it: empty when it needs
// more than buffer_size - 1 bytes (the terminating NUL takes the last one).
std::string fit_buffer(std::string name, std::size_t buffer_size) {
  if (buffer_size == 0 || name.size() > buffer_size - 1) return {};
  return name;
}

std::wstring registry_text(HKEY root, const wchar_t* key, const wchar_t* value) {
  wchar_t buffer[512] = {};
  DWORD size = sizeof buffer - sizeof(wchar_t);  // room for a terminator the value may lack
  if (::RegGetValueW(root, key, value, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS)
    return {};
  return buffer;
}

constexpr wchar_t kCurrentVersionKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

// The adapter's plug-and-play device path ("PCI\VEN_8086&..."), from the network class key.
std::wstring adapter_device_id(const char* adapter_name) {
  std::wstring key =
      L"SYSTEM\\CurrentControlSet\\Control\\Network\\{4D36E972-E325-11CE-BFC1-08002BE10318}\\";
  for (const char* p = adapter_name; *p; ++p) key += static_cast<wchar_t>(*p);  // a GUID text
  key += L"\\Connection";
  return registry_text(HKEY_LOCAL_MACHINE, key.c_str(), L"PnPInstanceId");
}

bool contains_pci(const std::wstring& device_id) {
  std::wstring upper = device_id;
  for (wchar_t& c : upper) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  }
  return upper.find(L"PCI") != std::wstring::npos;
}

std::string mac_text(const BYTE* address) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (int i = 0; i < 6; ++i) {
    if (i > 0) text += ':';
    text += kHex[address[i] >> 4];
    text += kHex[address[i] & 0xF];
  }
  return text;
}

using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);

// The true version numbers: GetVersionEx lies to programs without a compatibility manifest.
bool true_version(OSVERSIONINFOEXW& info) {
  info = OSVERSIONINFOEXW{};
  info.dwOSVersionInfoSize = sizeof info;
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  if (ntdll == nullptr) return false;
  auto get_version = reinterpret_cast<RtlGetVersionFn>(
      reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion")));
  return get_version != nullptr && get_version(&info) == 0;
}

const wchar_t* edition_of(DWORD product_type) {
  switch (product_type) {
    case 1:
      return L"Ultimate Edition";
    case 2:
      return L"Home Basic Edition";
    case 3:
      return L"Home Premium Edition";
    case 4:
      return L"Enterprise Edition";
    case 6:
      return L"Business Edition";
    case 7:
      return L"Standard";
    case 8:
      return L"Datacenter Edition";
    case 9:
      return L"Small Business Server";
    case 10:
      return L"Enterprise Edition";
    case 11:
      return L"Starter Edition";
    case 12:
      return L"Datacenter Edition (core installation)";
    case 13:
      return L"Standard Edition (core installation)";
    case 14:
      return L"Enterprise Edition (core installation)";
    case 15:
      return L"Enterprise Edition for Itanium-based Systems";
    case 16:
      return L"Business N";
    case 17:
      return L"Web Server (full installation)";
    case 18:
      return L"HPC Edition";
    case 19:
      return L"Windows Storage Server 2008 R2 Essentials";
    case 20:
      return L"Storage Server Express";
    case 21:
      return L"Storage Server Standard";
    case 22:
      return L"Storage Server Workgroup";
    case 23:
      return L"Storage Server Enterprise";
    case 25:
      return L"Small Business Server Premium Edition";
    case 48:
      return L"Professional";
    case 121:
      return L"Education";
    default:
      return nullptr;
  }
}

}  // namespace

std::string user_name() {
  try {
    wchar_t buffer[257] = {};  // UNLEN + 1
    DWORD size = 257;
    if (!::GetUserNameW(buffer, &size)) return {};
    return fit_buffer(win::from_wide(buffer), 50);
  } catch (...) {
    return {};
  }
}

std::string host_name() {
  try {
    // The DNS host name, as gethostname gives it (GetComputerNameW would give the upper-cased
    // NetBIOS name, a different text and so a different machine identity).
    wchar_t buffer[256] = {};
    DWORD size = 256;
    if (!::GetComputerNameExW(ComputerNameDnsHostname, buffer, &size)) return {};
    return fit_buffer(win::from_wide(buffer), 16);
  } catch (...) {
    return {};
  }
}

std::string mac_address_text() {
  try {
    // The connected adapters with a six-byte address; one on the PCI bus wins, else any. Among
    // several, the lowest adapter name (a GUID fixed at installation) keeps the choice stable.
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer;
    ULONG rc = ERROR_BUFFER_OVERFLOW;
    const ULONG flags = GAA_FLAG_SKIP_UNICAST | GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST |
                        GAA_FLAG_SKIP_DNS_SERVER;
    for (int attempt = 0; attempt < 4 && rc == ERROR_BUFFER_OVERFLOW; ++attempt) {
      buffer.resize(size);
      rc = ::GetAdaptersAddresses(AF_UNSPEC, flags, nullptr,
                                  reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    }
    if (rc != NO_ERROR) return {};
    std::string best_pci_name, best_pci, best_any_name, best_any;
    for (auto* a = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); a != nullptr;
         a = a->Next) {
      if (a->OperStatus != IfOperStatusUp || a->PhysicalAddressLength != 6) continue;
      if (a->IfType == IF_TYPE_SOFTWARE_LOOPBACK || a->IfType == IF_TYPE_TUNNEL) continue;
      if (std::all_of(a->PhysicalAddress, a->PhysicalAddress + 6, [](BYTE b) { return b == 0; }))
        continue;
      const std::string name = a->AdapterName != nullptr ? a->AdapterName : "";
      const std::string mac = mac_text(a->PhysicalAddress);
      if (best_any.empty() || name < best_any_name) {
        best_any_name = name;
        best_any = mac;
      }
      if (contains_pci(adapter_device_id(name.c_str())) &&
          (best_pci.empty() || name < best_pci_name)) {
        best_pci_name = name;
        best_pci = mac;
      }
    }
    return best_pci.empty() ? best_any : best_pci;
  } catch (...) {
    return {};
  }
}

std::string os_version_text() {
  try {
    OSVERSIONINFOEXW version{};
    if (!true_version(version)) return {};
    const DWORD major = version.dwMajorVersion;
    const DWORD minor = version.dwMinorVersion;
    const bool workstation = version.wProductType == VER_NT_WORKSTATION;
    std::wstring name;
    if (major == 10 && minor == 0) {
      // Windows 11 reports 10.0 as well, and is named as Windows 10 here.
      name = workstation ? L"Windows 10"
                         : registry_text(HKEY_LOCAL_MACHINE, kCurrentVersionKey, L"ProductName");
    } else if (major == 6) {
      static const wchar_t* const kWorkstation[] = {L"Windows Vista", L"Windows 7", L"Windows 8",
                                                    L"Windows 8.1"};
      static const wchar_t* const kServer[] = {L"Windows Server 2008", L"Windows Server 2008 R2",
                                               L"Windows Server 2012", L"Windows Server 2012 R2"};
      if (minor <= 3) name = workstation ? kWorkstation[minor] : kServer[minor];
    }
    std::wstring edition;
    DWORD product_type = 0;
    if (major >= 6) {
      if (!::GetProductInfo(major, minor, version.wServicePackMajor, version.wServicePackMinor,
                            &product_type)) {
        product_type = 0;
      }
      const wchar_t* known = edition_of(product_type);
      if (known != nullptr) {
        edition = known;
      } else {
        name = L"获取失败，请检查版本:" + std::to_wstring(major) + L"." + std::to_wstring(minor);
      }
    }
    std::wstring text = name + L" ";
    if (name.find(edition) == std::wstring::npos) text += edition;
    // The identity was first computed by a 32-bit program, which on 64-bit Windows ran under
    // WOW64 and so said " x64"; this 64-bit program says the same on the same machine.
    SYSTEM_INFO system{};
    ::GetNativeSystemInfo(&system);
    const bool wide_machine = system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
                              system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_ARM64 ||
                              system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64;
    text += wide_machine ? L" x64" : L" x86";
    std::wstring service_pack = version.szCSDVersion;
    if (service_pack.empty())
      service_pack = registry_text(HKEY_LOCAL_MACHINE, kCurrentVersionKey, L"CSDVersion");
    if (service_pack.size() < 3) service_pack.clear();
    std::wstring build = std::to_wstring(version.dwBuildNumber & 0xFFFF);
    if ((version.dwBuildNumber & 0xFFFF) == 0)
      build = registry_text(HKEY_LOCAL_MACHINE, kCurrentVersionKey, L"CurrentBuild");
    const std::wstring extra =
        service_pack.empty() ? L"Build:" + build : service_pack + L",Build:" + build;
    text += L" (" + extra + L")";
    return win::from_wide(text);
  } catch (...) {
    return {};
  }
}

}  // namespace brindle::platform
