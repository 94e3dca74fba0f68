#include "foundation/machine_id.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "foundation/encoding.h"
#include "platform/platform.h"

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

namespace brindle {
namespace {

bool lower_hex_32(const std::string& text) {
  return std::regex_match(text, std::regex("[0-9a-f]{32}"));
}

TEST(MachineId, DigestOfTheFourPartsInOrder) {
  EXPECT_EQ(ComputeMachineId("user", "host", "00:1A:2B:3C:4D:5E",
                             "Windows 10 Professional x64 (Build:19045)"),
            "812642050833417ad0429ee98741dfd2");
  // The parts are GBK texts; the Windows name of an unknown product type keeps its blank.
  EXPECT_EQ(
      ComputeMachineId(gbk("张三"), "PC", "", gbk("获取失败，请检查版本:10.0  x64 (Build:19045)")),
      "d3986ddf793ac6341b6012452485deef");
  // Nothing obtainable still gives an identity.
  EXPECT_EQ(ComputeMachineId("", "", "", ""), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(MachineId, StableAndWellFormedOnThisMachine) {
  const std::string first = ComputeMachineId();
  EXPECT_TRUE(lower_hex_32(first)) << first;
  EXPECT_EQ(ComputeMachineId(), first);
  EXPECT_EQ(ComputeMachineId(UserName(), HostName(), MacAddressText(), WindowsVersionText()),
            first);
}

TEST(MachineFacts, PartsLookLikeTheirWindowsCounterparts) {
  const std::string user = UserName();
#ifndef _WIN32
  if (const passwd* pw = ::getpwuid(::geteuid()); pw && std::string(pw->pw_name).size() < 50) {
    EXPECT_EQ(user, pw->pw_name);
  }
#endif
  EXPECT_LE(HostName().size(), 15u);
  const std::string mac = MacAddressText();
  if (!mac.empty()) {
    EXPECT_TRUE(std::regex_match(mac, std::regex("([0-9A-F]{2}:){5}[0-9A-F]{2}"))) << mac;
    EXPECT_NE(mac, "00:00:00:00:00:00");
  }
  const std::string os = WindowsVersionText();
#ifdef _WIN32
  // Name, edition and architecture, then the build: "Windows 10 Professional x64 (Build:19045)",
  // or "(<service pack>,Build:N)".
  EXPECT_TRUE(std::regex_match(os, std::regex(".+ x(64|86) \\((.+,)?Build:[0-9]+\\)"))) << os;
#else
  EXPECT_TRUE(std::regex_match(os, std::regex(".+ x(64|86)"))) << os;
#endif
}

}  // namespace
}  // namespace brindle
