// Runs a program of ours (brindle-cli, brindle-sim) as a real child process to its end and keeps
// what it printed and how it ended, for tests of exit codes and messages.
#pragma once

#include <string>
#include <vector>

namespace brindle::test {

struct ChildRun {
  bool started = false;
  int exit_code = -1;  // 128 + signal for a child ended by a signal
  std::string out;     // standard output
  std::string err;     // standard error
};

// Starts argv[0] (a path) with the other items as arguments, in `working_dir` (empty: this
// process's folder), with an empty standard input, and waits for it to end. A child still running
// after `safety_ms` is killed (a broken test, not a timing assertion).
ChildRun RunChild(const std::vector<std::string>& argv, const std::string& working_dir = {},
                  int safety_ms = 60000);

}  // namespace brindle::test
