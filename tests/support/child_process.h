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
// process's folder), with the file `stdin_file` as its standard input (empty: an empty input),
// and waits for it to end. A child still running after `safety_ms` is killed (a broken test, not
// a timing assertion).
ChildRun RunChild(const std::vector<std::string>& argv, const std::string& working_dir = {},
                  int safety_ms = 60000, const std::string& stdin_file = {});

#ifdef _WIN32
// Starts a Linux program from this Windows one under Wine (argv[0] an absolute native path)
// without waiting for it, its standard output and error written to `out_file`. Wine gives no
// handle to wait on or end such a child: whoever starts one learns of its end some other way (a
// file it writes). False when it could not be started.
bool StartNative(const std::vector<std::string>& argv, const std::string& out_file);

// The Windows command line that gives argv back through CommandLineToArgvW's rules.
std::wstring WindowsCommandLine(const std::vector<std::string>& argv);
// A program text as UTF-16: UTF-8 when it is valid UTF-8, GBK otherwise.
std::wstring WideText(const std::string& text);
#endif

}  // namespace brindle::test
