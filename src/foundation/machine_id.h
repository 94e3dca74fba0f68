// The identity of this computer: the salt of the forum login and the key its stored tokens are
// checked against, so a settings file copied to another computer does not log in.
#pragma once

#include <string>

namespace brindle {

// Each part is a GBK text, empty when it cannot be obtained.
[[nodiscard]] std::string UserName();
[[nodiscard]] std::string HostName();
[[nodiscard]] std::string MacAddressText();
// On Windows the descriptive Windows version; elsewhere the OS text built the same way from
// name, version and architecture, without the kernel release (which changes at every update).
[[nodiscard]] std::string WindowsVersionText();

// Lowercase hexadecimal MD5 (32 digits) of user name + host name + MAC text + version text,
// concatenated without separators. Missing parts are empty; the digest is formed regardless.
[[nodiscard]] std::string ComputeMachineId();
[[nodiscard]] std::string ComputeMachineId(const std::string& user_name,
                                           const std::string& host_name,
                                           const std::string& mac_text,
                                           const std::string& version_text);

}  // namespace brindle
