#include "support/sim_process.h"

#include <curl/curl.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "foundation/http_settings.h"
#include "support/host_paths.h"

#ifdef _WIN32
#include "support/child_process.h"
#else
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace brindle::test {
namespace {

constexpr int kStartTimeoutMs = 30000;

std::size_t collect(char* bytes, std::size_t size, std::size_t count, void* user) {
  static_cast<std::string*>(user)->append(bytes, size * count);
  return size * count;
}

// The brindle-sim to start: BRINDLE_SIM when set (a native path), else the one this build made.
std::string sim_program() {
  if (const char* path = std::getenv("BRINDLE_SIM"); path != nullptr && *path != '\0') return path;
#ifdef BRINDLE_SIM_PATH
  return BRINDLE_SIM_PATH;
#else
  return {};
#endif
}

#ifdef _WIN32

// Runs the sim in the background, records both ids, waits for the stop file (or the sim's own
// end), ends the sim and writes its exit status to the gone file in one step.
constexpr const char* kWatcher =
    "stop=$1 gone=$2 pids=$3; shift 3; \"$@\" & sim=$!; "
    "if [ -n \"$pids\" ]; then echo \"$$ $sim\" >> \"$pids\"; fi; "
    "while [ ! -e \"$stop\" ] && kill -0 \"$sim\" 2>/dev/null; do sleep 0.05; done; "
    "kill \"$sim\" 2>/dev/null; wait \"$sim\"; echo $? > \"$gone.part\" && mv \"$gone.part\" "
    "\"$gone\"";

// `text` with every "https://127.0.0.1:" as "https://localhost:".
std::string OnLocalhost(std::string text) {
  const std::string ip = "https://127.0.0.1:";
  const std::string name = "https://localhost:";
  for (std::size_t at = text.find(ip); at != std::string::npos; at = text.find(ip, at)) {
    text.replace(at, ip.size(), name);
    at += name.size();
  }
  return text;
}

std::string pids_file() {
  const char* base = std::getenv("BRINDLE_TEST_TMP");
  return base != nullptr && *base != '\0' ? std::string(base) + "/sim-pids" : std::string();
}

#else

// Waits for the child's "ready" line; false when it exits or stays silent too long.
bool wait_until_ready(int fd, std::string& error) {
  std::string seen;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
  while (seen.find("ready\n") == std::string::npos) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now())
                    .count();
    if (left <= 0) {
      error = "brindle-sim did not become ready";
      return false;
    }
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left)) < 0) continue;
    char buffer[256];
    ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got == 0) {
      error = "brindle-sim exited before it was ready";
      return false;
    }
    if (got > 0) seen.append(buffer, static_cast<std::size_t>(got));
  }
  return true;
}

#endif

}  // namespace

SimProcess::SimProcess(std::vector<std::string> extra_args) {
  data_dir_ = dir_.file("data");
  std::filesystem::create_directory(data_dir_);
  const std::string addr_file = dir_.file("addr.txt");
  endpoints_file_ = dir_.file("endpoints.ini");
  std::vector<std::string> args = {sim_program(),
                                   "--data",
                                   NativePath(data_dir_),
                                   "--addr-file",
                                   NativePath(addr_file),
                                   "--endpoints",
                                   NativePath(endpoints_file_),
                                   "--cert-file",
                                   NativePath(dir_.file("ca.pem"))};
  for (std::size_t i = 0; i < extra_args.size(); ++i) {
    if (extra_args[i] == "--data" && i + 1 < extra_args.size()) data_dir_ = extra_args[i + 1];
    args.push_back(NativePath(extra_args[i]));
  }
  if (args[0].empty()) {
    error_ = "no brindle-sim to start (BRINDLE_SIM)";
    return;
  }
  if (!Start(std::move(args))) return;

  std::ifstream addr(addr_file);
  for (std::string line; std::getline(addr, line);) {
    std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = line.substr(0, eq);
    std::string value = line.substr(eq + 1);
    if (key == "http") http_base_ = value;
    if (key == "https") https_base_ = value;
    if (key == "ca_file") ca_file_ = HostPath(value);
  }
  if (http_base_.empty()) error_ = "brindle-sim wrote no address";
#ifdef _WIN32
  // Schannel matches only DNS names in a certificate, never its IP addresses; the sim's
  // certificate also names localhost, and its listeners are on 127.0.0.1 where localhost leads.
  https_base_ = OnLocalhost(https_base_);
  // The endpoints file names the certificate by its native path; the program here reads it.
  std::string endpoints = OnLocalhost(slurp(endpoints_file_));
  if (const std::size_t at = endpoints.find("ca_file="); at != std::string::npos) {
    const std::size_t value = at + std::strlen("ca_file=");
    const std::size_t end = endpoints.find('\n', value);
    const std::string native = endpoints.substr(value, end - value);
    endpoints.replace(value, native.size(), HostPath(native));
  }
  spit(endpoints_file_, endpoints);
#endif
}

SimProcess::~SimProcess() { Stop(); }

#ifdef _WIN32

bool SimProcess::Start(std::vector<std::string> args) {
  const std::string out = dir_.file("sim.out");
  const std::string gone = dir_.file("sim.gone");
  std::vector<std::string> argv = {"/bin/sh",
                                   "-c",
                                   kWatcher,
                                   "brindle-sim-watch",
                                   NativePath(dir_.file("sim.stop")),
                                   NativePath(gone),
                                   pids_file()};
  argv.insert(argv.end(), args.begin(), args.end());
  if (!StartNative(argv, out)) {
    error_ = "cannot start /bin/sh for brindle-sim";
    return false;
  }
  started_ = true;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
  for (;;) {
    const std::string said = slurp(out);
    if (said.find("ready\n") != std::string::npos) return true;
    if (std::filesystem::exists(gone)) {
      error_ = "brindle-sim exited before it was ready: " + said;
      return false;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      error_ = "brindle-sim did not become ready";
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

void SimProcess::Stop() {
  if (!started_) return;
  started_ = false;
  spit(dir_.file("sim.stop"), "");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!std::filesystem::exists(dir_.file("sim.gone")) &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

#else

bool SimProcess::Start(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) {
    error_ = "pipe failed";
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  pid_t child = -1;
  int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  if (spawned != 0) {
    ::close(out[0]);
    error_ = std::string("cannot start brindle-sim: ") + std::strerror(spawned);
    return false;
  }
  pid_ = child;
  started_ = true;
  bool ready = wait_until_ready(out[0], error_);
  ::close(out[0]);
  return ready;
}

void SimProcess::Stop() {
  if (!started_) return;
  started_ = false;
  ::kill(pid_, SIGTERM);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  int status = 0;
  while (::waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

#endif

std::int64_t SimProcess::request_count(const std::string& path) const {
  CURL* easy = curl_easy_init();
  if (easy == nullptr) return -1;
  char* escaped = curl_easy_escape(easy, path.c_str(), static_cast<int>(path.size()));
  std::string url = http_base_ + "/test/count?path=" + (escaped ? escaped : "");
  curl_free(escaped);
  std::string body;
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_TIMEOUT, 30L);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &collect);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
  CURLcode code = curl_easy_perform(easy);
  long status = 0;
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
  curl_easy_cleanup(easy);
  if (code != CURLE_OK || status != 200 || body.empty()) return -1;
  try {
    return std::stoll(body);
  } catch (...) {
    return -1;
  }
}

SimProcess* SharedSimSuite::sim_ = nullptr;

void SharedSimSuite::SetUpTestSuite() {
  (void)http_global_init();
  sim_ = new SimProcess();
}

void SharedSimSuite::TearDownTestSuite() {
  delete sim_;
  sim_ = nullptr;
}

}  // namespace brindle::test
