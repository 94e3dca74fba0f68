#include "foundation/machine_id.h"

#include "foundation/encoding.h"
#include "platform/platform.h"

namespace brindle {

std::string UserName() { return platform::user_name(); }
std::string HostName() { return platform::host_name(); }
std::string MacAddressText() { return platform::mac_address_text(); }
std::string WindowsVersionText() { return platform::os_version_text(); }

std::string ComputeMachineId() {
  return ComputeMachineId(UserName(), HostName(), MacAddressText(), WindowsVersionText());
}

std::string ComputeMachineId(const std::string& user_name, const std::string& host_name,
                             const std::string& mac_text, const std::string& version_text) {
  return md5_hex(user_name + host_name + mac_text + version_text, false, false);
}

}  // namespace brindle
