// The Linux implementation of the machine facts: the fixed buffers, the adapter choice over
// made-up /sys/class/net trees, and the OS text from os-release. (Not built for Windows, whose
// implementation reads the system's own tables.)
#include <gtest/gtest.h>
#include <sys/utsname.h>

#include <filesystem>
#include <string>

#include "foundation/machine_id.h"
#include "platform/posix/host_detail.h"
#include "support/temp_dir.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;
using platform::detail::fit_buffer;
using platform::detail::mac_address_from;
using platform::detail::os_version_from;
using test::spit;
using test::TempDir;

TEST(MachineFacts, FixedBuffersRefuseLongNames) {
  EXPECT_EQ(fit_buffer(std::string(49, 'u'), 50), std::string(49, 'u'));
  EXPECT_EQ(fit_buffer(std::string(50, 'u'), 50), "");
  EXPECT_EQ(fit_buffer("abcdefghijklmno", 16), "abcdefghijklmno");
  EXPECT_EQ(fit_buffer("abcdefghijklmnop", 16), "");
  EXPECT_EQ(fit_buffer("x", 0), "");
}

// ---- The adapter choice, over made-up /sys/class/net trees ------------------------------------

class FakeNet {
 public:
  // `device` is the bus path the device link points to, empty for a virtual interface.
  void add(const std::string& name, const std::string& operstate, const std::string& address,
           const std::string& device, const std::string& carrier = "1",
           const std::string& type = "1") {
    const fs::path dir = root_.path() / "class" / name;
    fs::create_directories(dir);
    spit(dir / "operstate", operstate + "\n");
    spit(dir / "address", address + "\n");
    spit(dir / "carrier", carrier + "\n");
    spit(dir / "type", type + "\n");
    if (!device.empty()) {
      const fs::path target = root_.path() / "devices" / device;
      fs::create_directories(target);
      fs::create_directory_symlink(target, dir / "device");
    }
  }
  std::string pick() const { return mac_address_from((root_.path() / "class").string()); }

 private:
  TempDir root_;
};

TEST(MacAddress, PrefersTheConnectedPciAdapter) {
  FakeNet net;
  net.add("lo", "unknown", "00:00:00:00:00:00", "");
  net.add("docker0", "up", "02:42:ac:11:00:01", "");  // virtual
  net.add("enp0s31f6", "down", "aa:aa:aa:aa:aa:aa", "pci0000:00/0000:00:1f.6");
  net.add("enx001", "up", "bb:bb:bb:bb:bb:bb", "pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0");
  net.add("wlp2s0", "up", "c8:5b:76:1a:2b:3c", "pci0000:00/0000:02:00.0");
  EXPECT_EQ(net.pick(), "C8:5B:76:1A:2B:3C");
}

TEST(MacAddress, LowestNameWinsAmongEqualCandidates) {
  FakeNet net;
  net.add("wlp3s0", "up", "22:22:22:22:22:22", "pci0000:00/0000:03:00.0");
  net.add("eno1", "up", "11:11:11:11:11:11", "pci0000:00/0000:00:19.0");
  EXPECT_EQ(net.pick(), "11:11:11:11:11:11");
  EXPECT_EQ(net.pick(), "11:11:11:11:11:11");
}

TEST(MacAddress, FallsBackToAnyConnectedAdapter) {
  FakeNet net;
  net.add("lo", "unknown", "00:00:00:00:00:00", "", "1", "772");
  net.add("veth9", "up", "00:00:00:00:00:00", "");           // no address
  net.add("tun0", "unknown", "de:ad:be:ef:00:01", "", "1");  // carrier decides
  net.add("enx0", "up", "bb:bb:bb:bb:bb:bb", "pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0");
  EXPECT_EQ(net.pick(), "BB:BB:BB:BB:BB:BB");  // lower than "tun0"
}

TEST(MacAddress, NothingConnectedGivesEmptyText) {
  FakeNet net;
  net.add("eth0", "down", "aa:bb:cc:dd:ee:ff", "pci0000:00/0000:00:03.0");
  net.add("wlan0", "dormant", "aa:bb:cc:dd:ee:00", "pci0000:00/0000:00:04.0");
  net.add("odd", "up", "aa:bb:cc", "");  // not a six-byte address
  net.add("lo", "unknown", "00:00:00:00:00:00", "", "1", "772");
  EXPECT_EQ(net.pick(), "");
  EXPECT_EQ(mac_address_from("/nonexistent/class/net"), "");
}

// ---- The OS text -------------------------------------------------------------------------------

TEST(OsVersion, BuiltLikeTheWindowsText) {
  const char* debian =
      "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian GNU/Linux\"\n"
      "VERSION_ID=\"12\"\nID=debian\n";
  EXPECT_EQ(os_version_from(debian, "x86_64"), "Debian GNU/Linux 12 x64");
  EXPECT_EQ(os_version_from(debian, "i686"), "Debian GNU/Linux 12 x86");
  EXPECT_EQ(os_version_from(debian, "aarch64"), "Debian GNU/Linux 12 x64");
}

// A kernel update must not change the identity: the stored login tokens are bound to it.
TEST(OsVersion, KernelReleaseIsNotPartOfTheIdentity) {
  const std::string text = WindowsVersionText();
  struct utsname names;
  ASSERT_EQ(::uname(&names), 0);
  EXPECT_EQ(text.find(names.release), std::string::npos) << text;
  EXPECT_EQ(text.find("Build:"), std::string::npos) << text;
}

TEST(OsVersion, MissingAndOddFields) {
  // The version is left out, its blank kept, when the name already holds it.
  EXPECT_EQ(os_version_from("NAME='Foo 7'\nVERSION_ID=7\n", "x86_64"), "Foo 7  x64");
  EXPECT_EQ(os_version_from("NAME=Arch\nBUILD_ID=rolling\n", "x86_64"), "Arch rolling x64");
  EXPECT_EQ(os_version_from("ID=alpine\n", "x86_64"), "alpine  x64");
  EXPECT_EQ(os_version_from("", "armv7l"), "Linux  x86");
  EXPECT_EQ(os_version_from("NAME=\"A \\\"B\\\"\"\nVERSION_ID=1\nNAME_X=no\n", "x86_64"),
            "A \"B\" 1 x64");
}

}  // namespace
}  // namespace brindle
