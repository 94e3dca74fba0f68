// The one check every address passes before it reaches a steam:// URL, the favourites file or a
// command line: plain host:port, nothing that the game could read as a launch option.
#include "servers/server_address.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace brindle {
namespace {

TEST(ServerAddress, AcceptsDottedAddressesAndHostNamesWithAPort) {
  for (const std::string& address : std::vector<std::string>{
           "192.0.2.1:27015", "0.0.0.0:1", "255.255.255.255:65535", "127.0.0.1:80",
           "localhost:27015", "play.brindle.example:27015", "ze-1.cn.brindle.example:2",
           "A1.example:27015", "1host.example:27015", "10.0.0.1a:27015",
           std::string(63, 'a') + "." + std::string(63, 'b') + ".example:27015"}) {
    EXPECT_TRUE(IsValidServerAddress(address)) << address;
  }
}

TEST(ServerAddress, RefusesWhatCouldCarryLaunchOptions) {
  for (const std::string& address : std::vector<std::string>{
           // The cases that prompted the check: the rest of the text reaches the game.
           "192.0.2.1:27015 +exec autoexec", "192.0.2.1:27015+exec", "192.0.2.1:27015 -insecure",
           "192.0.2.1 +quit:27015", "evil host:27015", "192.0.2.1:27015;quit",
           "192.0.2.1:27015\n+exec x", "192.0.2.1:27015\t", " 192.0.2.1:27015",
           std::string("192.0.2.1:27015\0x", 17),
           // Ports: sign, blank, junk, zero, too big, leading zero, too long, missing.
           "192.0.2.1:+27015", "192.0.2.1:-1", "192.0.2.1: 27015", "192.0.2.1:27015x",
           "192.0.2.1:0x6987", "192.0.2.1:0", "192.0.2.1:65536", "192.0.2.1:99999",
           "192.0.2.1:027015", "192.0.2.1:000001", "192.0.2.1:", "192.0.2.1", "192.0.2.1::27015",
           "192.0.2.1:27015:27016",
           // Hosts: empty, bad numbers, odd characters and shapes, too long.
           ":27015", "256.0.0.1:27015", "1.2.3:27015", "1.2.3.4.5:27015", "01.2.3.4:27015",
           "1..2.3:27015", ".example:27015", "example.:27015", "-a.example:27015",
           "a-.example:27015", "a_b.example:27015", "[::1]:27015", "user@host:27015",
           "host/path:27015", "%31.2.3.4:27015", "\xC9\xCF\xBA\xA3.example:27015",
           std::string(64, 'a') + ".example:27015", std::string(250, 'a') + ".example:27015",
           "steam://connect/1.2.3.4:27015", ""}) {
    EXPECT_FALSE(IsValidServerAddress(address)) << address;
  }
}

}  // namespace
}  // namespace brindle
