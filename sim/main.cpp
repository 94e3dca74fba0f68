// brindle-sim: the community's web services on loopback, for tests, benchmarks and the demo.
//
//   brindle-sim [--data DIR] [--addr-file FILE] [--endpoints FILE] [--cert-file FILE]
//               [--http-port N] [--https-port N] [--no-https] [--threads N] [--servers N]
//
// Prints "ready" on standard output once the addresses (and the endpoints file) are written.
// Stops on SIGTERM, SIGINT or SIGHUP, and when the process that started it dies.
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "a2s_responder.h"
#include "sim_server.h"
#include "sim_state.h"

namespace {

struct Arguments {
  brindle::sim::SimOptions options;
  std::string addr_file;
  std::string endpoints_file;
  int servers = -1;  // generated server list size; -1: the data file
  brindle::sim::A2sCommandLine a2s;  // fake game servers on UDP
};

void usage(std::FILE* out) {
  std::fputs(
      "usage: brindle-sim [--data DIR] [--addr-file FILE] [--endpoints FILE] [--cert-file FILE]\n"
      "                   [--http-port N] [--https-port N] [--no-https] [--threads N]\n"
      "                   [--servers N]\n",
      out);
  std::fputs(brindle::sim::kA2sUsage, out);
}

bool parse_int(std::string_view text, int& out) {
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size() && out >= 0;
}

bool parse(int argc, char** argv, Arguments& args) {
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    auto number = [&](int& out) {
      std::string text;
      return value(text) && parse_int(text, out);
    };
    bool ok = true;
    if (arg == "--data") {
      ok = value(args.options.data_dir);
    } else if (arg == "--addr-file") {
      ok = value(args.addr_file);
    } else if (arg == "--endpoints") {
      ok = value(args.endpoints_file);
    } else if (arg == "--cert-file") {
      ok = value(args.options.cert_file);
    } else if (arg == "--http-port") {
      ok = number(args.options.http_port);
    } else if (arg == "--https-port") {
      ok = number(args.options.https_port);
    } else if (arg == "--threads") {
      ok = number(args.options.threads) && args.options.threads > 0;
    } else if (arg == "--servers") {
      ok = number(args.servers);
    } else if (brindle::sim::ParseA2sFlag(argc, argv, i, args.a2s, ok)) {
    } else if (arg == "--no-https") {
      args.options.https = false;
    } else {
      ok = false;
    }
    if (!ok) {
      std::fprintf(stderr, "brindle-sim: bad argument %s\n", argv[i]);
      return false;
    }
  }
  while (args.options.data_dir.size() > 1 && args.options.data_dir.back() == '/') {
    args.options.data_dir.pop_back();
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      usage(stdout);
      return 0;
    }
  }
  Arguments args;
  if (!parse(argc, argv, args)) {
    usage(stderr);
    return 2;
  }

  // Tests must never leak a sim: follow the parent out. (Checked again after arming, in case the
  // parent died first.)
  pid_t parent = ::getppid();
  ::prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (::getppid() != parent) return 0;

  // Every thread inherits the blocked set, so only sigwait below sees these signals.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  brindle::sim::SimServer server(args.options);
  server.add_routes(brindle::sim::install_test_routes);
  server.add_routes(brindle::sim::install_file_routes);
  server.add_routes(brindle::sim::install_favourites_routes);
  server.state().generated_servers = args.servers;
  server.add_routes(brindle::sim::install_server_list_routes);
  server.add_routes(brindle::sim::install_forum_map_list_routes);
  server.add_routes(brindle::sim::install_forum_plugin_routes);
  std::string error;
  if (!server.start(error)) {
    std::fprintf(stderr, "brindle-sim: %s\n", error.c_str());
    return 1;
  }
  if (!args.endpoints_file.empty() && !server.write_endpoints_file(args.endpoints_file)) {
    std::fprintf(stderr, "brindle-sim: cannot write %s\n", args.endpoints_file.c_str());
    return 1;
  }
  if (!args.addr_file.empty() && !server.write_addr_file(args.addr_file)) {
    std::fprintf(stderr, "brindle-sim: cannot write %s\n", args.addr_file.c_str());
    return 1;
  }
  brindle::sim::A2sResponders a2s;
  if (!brindle::sim::StartA2sFromCommandLine(args.a2s, a2s, error)) {
    std::fprintf(stderr, "brindle-sim: %s\n", error.c_str());
    return 1;
  }
  const auto& state = server.state();
  std::fprintf(stderr, "brindle-sim: %s %s\n", state.http_base.c_str(), state.https_base.c_str());
  std::printf("ready\n");
  std::fflush(stdout);

  int signal_number = 0;
  sigwait(&stop_signals, &signal_number);
  server.stop();
  if (args.options.cert_file.empty()) std::remove(state.ca_file.c_str());  // our own temp file
  return 0;
}
