// brindle-sim refuses switches it cannot honour (a port the socket call would cut to 16 bits, a
// thread count it cannot start, a data folder that is not there) with a message and exit code 2,
// before it listens anywhere.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/temp_dir.h"

namespace brindle {
namespace {

using test::ChildRun;

struct Refusal {
  std::vector<std::string> args;
  std::string message;  // a part of the first line on standard error
};

TEST(SimArguments, OutOfRangeValuesAndAMissingDataFolderAreRefused) {
  test::TempDir dir;
  test::spit(dir.path() / "a-file", "not a folder");
  const Refusal refusals[] = {
      {{"--http-port", "70000"}, "--http-port takes a port (0: any free one) from 0 to 65535"},
      {{"--http-port", "65536"}, "not '65536'"},
      {{"--https-port", "-1"}, "--https-port takes a port"},
      {{"--http-port", "99999999999999"}, "not '99999999999999'"},
      {{"--http-port", "80x"}, "not '80x'"},
      {{"--http-port"}, "--http-port needs a value"},
      {{"--threads", "0"}, "--threads takes a thread count from 1 to 1024"},
      {{"--threads", "100000"}, "not '100000'"},
      {{"--threads", "-4"}, "--threads takes a thread count"},
      {{"--servers", "2000000000"}, "--servers takes a server count from 0 to 200000"},
      {{"--a2s", "20001"}, "--a2s takes a whole number from 0 to 20000"},
      {{"--a2s-first-port", "65536"}, "--a2s-first-port takes a whole number from 0 to 65535"},
      {{"--a2s", "3", "--a2s-first-port", "65534"}, "leaves no room for 3 servers"},
      {{"--data", dir.file("no-such-folder")},
       "the data folder " + dir.file("no-such-folder") + " does not exist"},
      {{"--data", dir.file("a-file")},
       "the data folder " + dir.file("a-file") + " is not a folder"},
      {{"--no-such-switch"}, "unknown argument --no-such-switch"},
  };
  for (const Refusal& refusal : refusals) {
    std::vector<std::string> argv = {BRINDLE_SIM_PATH, "--addr-file", dir.file("addr.txt")};
    argv.insert(argv.end(), refusal.args.begin(), refusal.args.end());
    const ChildRun run = test::RunChild(argv);
    const std::string shown = refusal.args.front();
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exit_code, 2) << shown << "\n" << run.err;
    EXPECT_EQ(run.out, "") << shown;  // never "ready"
    EXPECT_EQ(run.err.rfind("brindle-sim: ", 0), 0u) << run.err;
    EXPECT_NE(run.err.substr(0, run.err.find('\n')).find(refusal.message), std::string::npos)
        << shown << "\n"
        << run.err;
    EXPECT_NE(run.err.find("usage: brindle-sim"), std::string::npos) << shown;
  }
  // Nothing got as far as writing its addresses.
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "addr.txt"));
}

}  // namespace
}  // namespace brindle
