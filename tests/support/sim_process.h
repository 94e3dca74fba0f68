// brindle-sim as a child process for one test (or one suite): started with a fresh temp folder
// for its data, addresses, endpoints file and certificate, and stopped when the object goes.
//
// brindle-sim is a Linux program. When the tests run as Windows programs under Wine it still runs
// natively (BRINDLE_SIM names it): a shell started beside it ends it when the test asks through a
// file, and records both process ids in BRINDLE_TEST_TMP/sim-pids for the run's own clean-up.
// Paths handed to it and read from it are converted between the two systems' names.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace brindle::test {

class SimProcess {
 public:
  // `extra_args` are passed to brindle-sim after the ones this helper sets (a later "--data DIR"
  // replaces the helper's data folder).
  explicit SimProcess(std::vector<std::string> extra_args = {});
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  // False when the sim did not come up; error() says why.
  bool running() const { return started_ && error_.empty(); }
  const std::string& error() const { return error_; }

  const std::string& http_base() const { return http_base_; }    // "http://127.0.0.1:PORT"
  const std::string& https_base() const { return https_base_; }  // "https://127.0.0.1:PORT"
  const std::string& ca_file() const { return ca_file_; }        // PEM the client must trust
  const std::string& endpoints_file() const { return endpoints_file_; }
  // The folder served under /files/; tests may add files to it at any time.
  const std::string& data_dir() const { return data_dir_; }

  std::string http_url(const std::string& path) const { return http_base_ + path; }
  std::string https_url(const std::string& path) const { return https_base_ + path; }

  // Requests the sim has received for `path` (without its query), asked over plain libcurl so
  // the answer does not depend on the client under test. -1 when the sim cannot be asked.
  std::int64_t request_count(const std::string& path) const;

 private:
  bool Start(std::vector<std::string> args);
  void Stop();

  TempDir dir_;
  bool started_ = false;
  int pid_ = -1;  // POSIX: the child's id
  std::string error_;
  std::string http_base_;
  std::string https_base_;
  std::string ca_file_;
  std::string endpoints_file_;
  std::string data_dir_;
};

// A test suite whose tests share one brindle-sim, started once for the suite (libcurl is
// initialised first) and stopped after its last test.
class SharedSimSuite : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();

  static SimProcess* sim_;
};

}  // namespace brindle::test
