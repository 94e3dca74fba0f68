// brindle-sim: the community's web services on loopback, for tests, benchmarks and the demo.
// `brindle-sim --help` lists the switches and the routes.
//
// Prints "ready" on standard output once the addresses (and the endpoints file) are written.
// Stops on SIGTERM, SIGINT or SIGHUP, and when the process that started it dies.
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>

#include "a2s_responder.h"
#include "account_routes.h"
#include "forum_page_routes.h"
#include "map_mirror.h"
#include "sim_server.h"
#include "sim_state.h"

namespace {

// data/sim/mapdata.json as it was at build time: the map groups when neither --mapdata nor the
// data folder names others.
const unsigned char kBuiltinMapdata[] = {
#include "mapdata_builtin.inc"
};

struct Arguments {
  brindle::sim::SimOptions options;
  std::string addr_file;
  std::string endpoints_file;
  std::string cache_dir;
  std::string mapdata_file;
  bool help = false;
  int servers = -1;                      // generated server list size; -1: the data file
  brindle::sim::A2sCommandLine a2s;      // fake game servers on UDP
  brindle::sim::AccountOptions account;  // remote configuration and version answer
  std::string resconfig_file;
};

void usage(FILE* out) {
  std::fputs(
      "usage: brindle-sim [--data DIR] [--addr-file FILE] [--endpoints FILE] [--cert-file FILE]\n"
      "                   [--http-port N] [--https-port N] [--no-https] [--threads N]\n"
      "                   [--servers N] [--mapdata FILE] [--cache-dir DIR]\n"
      "                   [--resconfig FILE | --resconfig-move-mirror]\n"
      "                   [--newer-version | --version-answer TEXT] [--help]\n",
      out);
  std::fputs(brindle::sim::kA2sUsage, out);
  std::fputs(
      "\n"
      "  --data DIR         served under /files/; servers.json, map_names.json, mapdata.json and\n"
      "                     the favourites files there replace the built-in demo data\n"
      "  --addr-file FILE   writes http=, https=, ca_file= and pid= lines\n"
      "  --endpoints FILE   writes the [endpoints] file that points the program at this sim\n"
      "  --cert-file FILE   where the generated certificate goes (default: a temp file)\n"
      "  --http-port N, --https-port N   fixed ports 1-65535 (default 0: ephemeral); --no-https:\n"
      "                     HTTP only\n"
      "  --threads N        worker threads per listener, 1-1024 (default 64)\n"
      "  --servers N        the server list holds N generated servers (up to 200000)\n"
      "  --mapdata FILE     the map groups (a JSON object: group key -> list of maps with\n"
      "                     mapname, size, cn_name, timestamp, optional type, mapcyclefile,\n"
      "                     file = bsp.bz2|bsp|7z|zip, host = primary|secondary); default: the\n"
      "                     data folder's mapdata.json, else the built-in data/sim/mapdata.json\n"
      "  --cache-dir DIR    where the mirror's files are made on first request and kept\n"
      "                     (default: $TMPDIR/brindle-sim-maps-v1-UID, shared by every sim)\n"
      "  --a2s N            N fake game servers answering the query protocol on UDP;\n"
      "                     --a2s-challenge-every K / --a2s-silent-every K: every K-th asks for a\n"
      "                     challenge first / never answers; --a2s-garbage-every K: every K-th\n"
      "                     that is not silent answers broken replies (a bare header, cut\n"
      "                     replies, a split-reply header, noise); --a2s-utf8-names,\n"
      "                     --a2s-blank-names;\n"
      "                     --a2s-first-port P: ports P, P+1, ...; --a2s-file FILE: their\n"
      "                     host:port, one a line\n"
      "  --resconfig FILE   the remote configuration served at /software/resconfig.html\n"
      "                     (default: the data folder's resconfig.json, else [] which changes\n"
      "                     nothing)\n"
      "  --resconfig-move-mirror  a remote configuration that selects us2 (节点3) and disables\n"
      "                     us1 (节点1)\n"
      "  --newer-version    /software/version.php answers 10071 (default 10070, the program's)\n"
      "  --version-answer TEXT    /software/version.php answers TEXT\n"
      "  --help             this text\n"
      "\n"
      "Server list: /serverlist/api/servers?game=csgo (the data folder's servers.json, else\n"
      "  generated servers); broken answers of the same list under /serverlist/fault/KIND/api/\n"
      "  (notjson, status500, empty, object, members, cut), /serverlist/status/CODE/api/servers\n"
      "  (the whole list with status CODE) and /serverlist/short/N/api/servers (the whole list,\n"
      "  announced N bytes longer, then the connection closes)\n"
      "Map groups and mirror (plain HTTP port; mirror hosts 127.0.0.1:PORT and localhost:PORT):\n"
      "  /software/mapdata/GROUP.html      the group's map list (JSON); 404 for an unknown group\n"
      "  /maps/NAME.bsp.bz2|.bsp|.7z|.zip  a listed map; the archives hold csgo/maps/NAME.bsp\n"
      "  /maps/empty/FILE                  0 bytes\n"
      "  /maps/gen/BYTES/FILE              BYTES generated bytes, streamed\n"
      "  /maps/genbz2/BYTES/NAME.bsp.bz2   a map of BYTES bytes (up to 256 MiB), bzip2, cached\n"
      "  /maps/corrupt/NAME.bsp.bz2        valid bzip2 header, then garbage\n"
      "  /maps/zeros/N/NAME.bsp.bz2        N zero bytes as bzip2 (N <= 1 GiB): a bomb for bounds\n"
      "  /maps/hostile/dotdot/TOKEN/FILE.zip|.7z    entry ../evil.bsp\n"
      "  /maps/hostile/absolute/TOKEN/FILE.zip|.7z  entry /tmp/brindle-evil-TOKEN/evil.bsp\n"
      "  /maps/fault/cut/N/FILE            FILE with its full length announced, N bytes sent\n"
      "  /maps/fault/stall/N/FILE          N bytes, then silence until the client leaves\n"
      "  /maps/fault/status/CODE/FILE      status CODE with an HTML page\n"
      "  /maps/fault/slow/RATE/FILE        FILE at RATE bytes per second\n"
      "  /maps/fault/html/0/FILE           200 with an HTML page instead of the file\n"
      "  POST /test/mapdata/GROUP[?status=N]  serve the request body as GROUP's list\n"
      "  DELETE /test/mapdata[/GROUP]      back to the catalogue (all groups without GROUP)\n"
      "Patch: /software/model_version.php (the current version, 20240315), /software/pifu.txt\n"
      "  (two archives /maps/patch/brindle_models|materials_VERSION.7z, made with 7zz)\n"
      "  POST|DELETE /test/model_version, /test/pifu (body; {primary} = the mirror's host);\n"
      "  GET /test/model_version/last (the version the client sent)\n"
      "Pre-download: /cloud/yunget/userinfo.php?data=STEAMID64\n"
      "  POST /test/userinfo?steamid=ID&next=MAP&nominate=A,B[&prefix=URL][&delay_ms=N]\n"
      "  (a body is served as it stands); DELETE /test/userinfo\n"
      "  /maps/plain/NAME.bsp: a map that exists only as a plain .bsp\n"
      "Account (forum plug-ins under /forum/plugin.php?id=…):\n"
      "  tarn_steam_openid:SoftLogin_postv2    POST login; known users brindle-tester /\n"
      "                                        secure-4242 (uid 1001) and 红色>>玩家 / 代码12345\n"
      "                                        (uid 1002) get isLogin \"true\", others \"false\"\n"
      "  tarn_steam_openid:SoftLogin_getsecurecode  the security-code page\n"
      "  ora_lin_qiandao:getawardsoftapi       the daily reward (once a day per user)\n"
      "  /forum/uc_server/avatar.php?uid=N     a PNG\n"
      "  POST|DELETE /test/resconfig, /test/version, /test/login/answer (body: what to serve)\n"
      "  GET /test/login/last, agent, count; POST /test/avatar?kind=png|html|huge|empty|\n"
      "  missing, DELETE /test/avatar; POST /test/reward?status=N (an error page),\n"
      "  DELETE /test/reward\n"
      "Other test routes: /test/echo, status, redirect, gzip, cookie, slow, stall, cut, file,\n"
      "count (?path=P: requests seen for P; ?reset=1), headers (?path=P: the last request's).\n",
      out);
}

// Limits of the numeric switches. A port outside 0..65535 would be cut to 16 bits by the socket
// call and the sim would listen somewhere else; a thread count in the millions aborts.
constexpr int kMaxPort = 65535;
constexpr int kMaxThreads = 1024;
constexpr int kMaxGeneratedServers = 200000;

bool parse(int argc, char** argv, Arguments& args, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) {
        error = arg + " needs a value";
        return false;
      }
      out = argv[++i];
      return true;
    };
    auto number = [&](int& out, int low, int high, const char* meaning) {
      std::string text;
      if (!value(text)) return false;
      int parsed = 0;
      auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed);
      if (ec == std::errc() && end == text.data() + text.size() && parsed >= low &&
          parsed <= high) {
        out = parsed;
        return true;
      }
      error = arg + " takes " + meaning + " from " + std::to_string(low) + " to " +
              std::to_string(high) + ", not '" + text + "'";
      return false;
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
      ok = number(args.options.http_port, 0, kMaxPort, "a port (0: any free one)");
    } else if (arg == "--https-port") {
      ok = number(args.options.https_port, 0, kMaxPort, "a port (0: any free one)");
    } else if (arg == "--threads") {
      ok = number(args.options.threads, 1, kMaxThreads, "a thread count");
    } else if (arg == "--servers") {
      ok = number(args.servers, 0, kMaxGeneratedServers, "a server count");
    } else if (arg == "--mapdata") {
      ok = value(args.mapdata_file);
    } else if (arg == "--cache-dir") {
      ok = value(args.cache_dir);
    } else if (arg == "--help" || arg == "-h") {
      args.help = true;
      return true;
    } else if (brindle::sim::ParseA2sFlag(argc, argv, i, args.a2s, ok, error)) {
    } else if (arg == "--resconfig") {
      ok = value(args.resconfig_file);
    } else if (arg == "--resconfig-move-mirror") {
      args.account.resconfig = brindle::sim::kMoveMirrorConfiguration;
    } else if (arg == "--newer-version") {
      args.account.version_answer = "10071";
    } else if (arg == "--version-answer") {
      ok = value(args.account.version_answer);
    } else if (arg == "--no-https") {
      args.options.https = false;
    } else {
      error = "unknown argument " + arg;
      ok = false;
    }
    if (!ok) return false;
  }
  while (args.options.data_dir.size() > 1 && args.options.data_dir.back() == '/') {
    args.options.data_dir.pop_back();
  }
  // A misspelt data folder would otherwise serve the built-in demo data without a word.
  std::error_code ec;
  if (!args.options.data_dir.empty() && !std::filesystem::is_directory(args.options.data_dir, ec)) {
    error = "the data folder " + args.options.data_dir +
            (std::filesystem::exists(args.options.data_dir, ec) ? " is not a folder"
                                                                : " does not exist");
    return false;
  }
  return brindle::sim::CheckA2sCommandLine(args.a2s, error);
}

// The catalogue and the cache folder of the map mirror.
std::shared_ptr<brindle::sim::MapMirror> open_mirror(const Arguments& args, std::string& error) {
  namespace fs = std::filesystem;
  std::string json;
  std::string data_file = args.options.data_dir + "/mapdata.json";
  std::error_code ec;
  if (!args.mapdata_file.empty()) {
    if (!brindle::sim::read_whole_file(args.mapdata_file, json)) {
      error = "cannot read " + args.mapdata_file;
      return nullptr;
    }
  } else if (!args.options.data_dir.empty() && fs::is_regular_file(data_file, ec)) {
    if (!brindle::sim::read_whole_file(data_file, json)) {
      error = "cannot read " + data_file;
      return nullptr;
    }
  } else {
    json.assign(reinterpret_cast<const char*>(kBuiltinMapdata), sizeof kBuiltinMapdata);
  }
  std::string cache = args.cache_dir;
  if (cache.empty()) {
    fs::path temp = fs::temp_directory_path(ec);
    if (ec) temp = "/tmp";
    cache = (temp / ("brindle-sim-maps-v1-" + std::to_string(::getuid()))).string();
  }
  auto mirror = std::make_shared<brindle::sim::MapMirror>();
  if (!mirror->load(json, error) || !mirror->open_cache(cache, error)) return nullptr;
  return mirror;
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
  std::string bad;
  if (!parse(argc, argv, args, bad)) {
    std::fprintf(stderr, "brindle-sim: %s\n", bad.c_str());
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
  server.add_routes(brindle::sim::install_forum_page_routes);
  std::string error;
  server.state().map_mirror = open_mirror(args, error);
  if (!server.state().map_mirror) {
    std::fprintf(stderr, "brindle-sim: %s\n", error.c_str());
    return 1;
  }
  server.add_routes(brindle::sim::install_map_routes);
  server.add_routes(brindle::sim::install_patch_routes);
  if (!args.resconfig_file.empty() &&
      !brindle::sim::read_whole_file(args.resconfig_file, args.account.resconfig)) {
    std::fprintf(stderr, "brindle-sim: cannot read %s\n", args.resconfig_file.c_str());
    return 1;
  }
  auto account = std::make_shared<brindle::sim::AccountRoutes>(args.account);
  server.add_routes([account](httplib::Server& routes, brindle::sim::SimState& state) {
    account->install(routes, state);
  });
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
