// brindle-sim's map groups and mirror as the map downloads meet them: every group list against
// the files the mirror serves (decompressed by the real bzip2 and 7zz), both mirror host names,
// the scripted faults and lists, and the hostile and corrupt archives.
#include <curl/curl.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "../../sim/generated_content.h"
#include "foundation/http_client.h"
#include "foundation/http_settings.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

extern char** environ;

namespace brindle {
namespace {

namespace fs = std::filesystem;
using test::slurp;
using test::TempDir;

const std::array<const char*, 15> kGroups = {"deathrun", "kz",       "ze",   "35hp", "mgdk",
                                             "jb",       "bhop",     "hns",  "hg",   "csde",
                                             "ttt",      "othermap", "surf", "zm",   "awp"};

// Runs a program found on PATH with its standard output into `out_file`; its exit code, -1 when
// it could not be started.
int run_tool(const std::vector<std::string>& args, const std::string& out_file = "/dev/null") {
  std::vector<std::string> copy = args;
  std::vector<char*> argv;
  for (std::string& arg : copy) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_file.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::uint32_t crc32_of(const std::string& bytes) {
  static const auto table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  std::uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char b : bytes) crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

std::size_t collect(char* bytes, std::size_t size, std::size_t count, void* user) {
  static_cast<std::string*>(user)->append(bytes, size * count);
  return size * count;
}

struct Fetched {
  CURLcode code = CURLE_OK;
  long status = 0;
  std::string body;
};

// Plain libcurl, for methods and time-outs the program's client does not offer.
Fetched fetch(const std::string& url, const std::string& method = "GET",
              const std::string& body = "", long timeout_ms = 30000) {
  Fetched out;
  CURL* easy = curl_easy_init();
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, timeout_ms);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &collect);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &out.body);
  if (method == "POST") {
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body.c_str());
  } else if (method != "GET") {
    curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method.c_str());
  }
  out.code = curl_easy_perform(easy);
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &out.status);
  curl_easy_cleanup(easy);
  return out;
}

// One sim for the suite with a cache folder of its own, so every mirror file is made afresh.
class SimMirrorTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    (void)http_global_init();
    cache_ = new TempDir();
    sim_ = new test::SimProcess({"--cache-dir", cache_->file("cache")});
    set_tls_ca_file(sim_->ca_file());
    std::ifstream in(sim_->endpoints_file());
    for (std::string line; std::getline(in, line);) {
      std::size_t eq = line.find('=');
      if (eq != std::string::npos) endpoints_[line.substr(0, eq)] = line.substr(eq + 1);
    }
  }
  static void TearDownTestSuite() {
    delete sim_;
    delete cache_;
    endpoints_.clear();
    set_http_settings(HttpSettings{});
  }
  void SetUp() override { ASSERT_TRUE(sim_->running()) << sim_->error(); }

  static std::string endpoint(const std::string& key) { return endpoints_[key]; }
  static std::string mirror(const std::string& path) {
    return "http://" + endpoint("mirror_primary_host") + path;
  }
  static std::string list_url(const std::string& group) {
    return endpoint("software") + "/mapdata/" + group + ".html";
  }
  // The size a group's list gives a map; 0 when it does not list it.
  static std::uint64_t listed_size(const std::string& group, const std::string& name) {
    auto list = nlohmann::json::parse(http_request(list_url(group)), nullptr, false);
    for (const auto& map : list) {
      if (map.value("mapname", "") == name) return std::stoull(map.value("size", "0"));
    }
    return 0;
  }

  // Downloads into the test's folder under the URL's last part, as the download queue names it.
  std::string download(const std::string& url, int& status, HttpTransferInfo* info = nullptr) {
    std::string path = dir_.file(url.substr(url.rfind('/') + 1));
    status = http_download_file(url, path, info);
    return path;
  }
  std::string download_ok(const std::string& url) {
    int status = 0;
    HttpTransferInfo info;
    std::string path = download(url, status, &info);
    EXPECT_EQ(status, 200) << url;
    EXPECT_TRUE(info.complete()) << url;
    return path;
  }
  // The entry paths `7zz l -slt` reports for an archive.
  std::set<std::string> entries(const std::string& archive) {
    std::string listing = dir_.file("listing.txt");
    EXPECT_EQ(run_tool({"7zz", "l", "-slt", archive}, listing), 0) << archive;
    std::set<std::string> paths;
    std::ifstream in(listing);
    bool past_archive = false;  // the first "Path =" names the archive itself
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("Path = ", 0) != 0) continue;
      if (past_archive) paths.insert(line.substr(7));
      past_archive = true;
    }
    return paths;
  }

  static test::SimProcess* sim_;
  static TempDir* cache_;
  static std::map<std::string, std::string> endpoints_;
  TempDir dir_;
};

test::SimProcess* SimMirrorTest::sim_ = nullptr;
TempDir* SimMirrorTest::cache_ = nullptr;
std::map<std::string, std::string> SimMirrorTest::endpoints_;

TEST_F(SimMirrorTest, EveryGroupListMatchesTheFilesTheMirrorServes) {
  const std::string primary = "http://" + endpoint("mirror_primary_host") + "/maps/";
  const std::string secondary = "http://" + endpoint("mirror_secondary_host") + "/maps/";
  std::set<std::string> forms;
  std::set<std::string> hosts;
  for (const char* group : kGroups) {
    SCOPED_TRACE(group);
    int status = 0;
    Bytes body = http_request(list_url(group), {}, &status);
    ASSERT_EQ(status, 200);
    auto list = nlohmann::json::parse(body, nullptr, false);
    ASSERT_TRUE(list.is_array());
    EXPECT_GE(list.size(), 3u);
    EXPECT_LE(list.size(), 6u);
    for (const auto& map : list) {
      for (const char* member : {"mapname", "download", "size", "type", "mapcyclefile", "timestamp",
                                 "crc32", "cn_name"}) {
        ASSERT_TRUE(map.contains(member) && map[member].is_string()) << member << map.dump();
      }
      const std::string name = map["mapname"];
      const std::string url = map["download"];
      const std::uint64_t size = std::stoull(map["size"].get<std::string>());
      SCOPED_TRACE(url);
      const std::string cn_name = map["cn_name"];
      EXPECT_TRUE(std::any_of(cn_name.begin(), cn_name.end(), [](char c) { return c & 0x80; }));
      EXPECT_TRUE(size >= 50000 && size <= 3000000);
      const bool on_primary = url.rfind(primary + name + ".", 0) == 0;
      ASSERT_TRUE(on_primary || url.rfind(secondary + name + ".", 0) == 0);
      hosts.insert(on_primary ? "primary" : "secondary");
      const std::string form = url.substr(url.find(name + ".") + name.size() + 1);
      forms.insert(form);

      const std::string file = download_ok(url);
      std::string bsp = dir_.file(name + ".bsp");
      if (form == "bsp.bz2") {
        ASSERT_EQ(run_tool({"bzip2", "-dc", file}, bsp), 0);
      } else if (form == "7z" || form == "zip") {
        // Unpacked into the game root, the map lands in csgo/maps/ beside its materials.
        std::string root = dir_.file("root-" + name);
        ASSERT_EQ(run_tool({"7zz", "x", file, "-o" + root, "-aoa"}), 0);
        bsp = root + "/csgo/maps/" + name + ".bsp";
        EXPECT_TRUE(fs::is_directory(root + "/csgo/materials/maps/" + name));
      } else {
        ASSERT_EQ(form, "bsp");
      }
      std::string bytes = slurp(bsp);
      EXPECT_EQ(bytes.size(), size);
      EXPECT_EQ(bytes.substr(0, 4), "VBSP");
      char crc[9];
      std::snprintf(crc, sizeof crc, "%08X", crc32_of(bytes));
      EXPECT_EQ(map["crc32"], crc);
    }
  }
  EXPECT_EQ(forms, (std::set<std::string>{"bsp.bz2", "bsp", "7z", "zip"}));
  EXPECT_EQ(hosts, (std::set<std::string>{"primary", "secondary"}));
}

TEST_F(SimMirrorTest, BothHostNamesAndEveryMirrorLineReachTheSameFiles) {
  const std::string host = endpoint("mirror_primary_host");
  EXPECT_EQ(host, sim_->http_base().substr(7));
  EXPECT_EQ(endpoint("mirror_secondary_host"), "localhost" + host.substr(host.find(':')));
  for (const char* line : {"mirror_us1", "mirror_us2", "mirror_telecom"}) {
    EXPECT_EQ(endpoint(line), host);
  }
  std::string a = slurp(download_ok(mirror("/maps/gj_idle_v2.bsp")));
  fs::remove(dir_.file("gj_idle_v2.bsp"));
  std::string b =
      slurp(download_ok("http://" + endpoint("mirror_secondary_host") + "/maps/gj_idle_v2.bsp"));
  EXPECT_EQ(a.size(), listed_size("othermap", "gj_idle_v2"));
  EXPECT_EQ(a, b);
  EXPECT_EQ(sim_->request_count("/maps/gj_idle_v2.bsp"), 2);
}

TEST_F(SimMirrorTest, UnknownGroupsAndMapsAreNotFound) {
  int status = 0;
  http_request(list_url("nosuch"), {}, &status);
  EXPECT_EQ(status, 404);
  download(mirror("/maps/de_unlisted.bsp.bz2"), status);
  EXPECT_EQ(status, 404);
  download(mirror("/maps/ze_atix_panic_b3t.exe"), status);
  EXPECT_EQ(status, 404);
  download(mirror("/maps/fault/cut/10/..bsp.bz2"), status);
  EXPECT_EQ(status, 404);
}

TEST_F(SimMirrorTest, CutAndStalledBodiesEndShortOfTheAnnouncedLength) {
  const std::string whole = slurp(download_ok(mirror("/maps/ze_atix_panic_b3t.bsp.bz2")));
  fs::remove(dir_.file("ze_atix_panic_b3t.bsp.bz2"));
  int status = 0;
  HttpTransferInfo info;
  std::string cut =
      download(mirror("/maps/fault/cut/1000/ze_atix_panic_b3t.bsp.bz2"), status, &info);
  EXPECT_EQ(fs::path(cut).filename().string(), "ze_atix_panic_b3t.bsp.bz2");
  EXPECT_EQ(status, 200);
  EXPECT_EQ(info.curl_code, CURLE_PARTIAL_FILE);
  EXPECT_EQ(info.content_length, static_cast<std::int64_t>(whole.size()));
  EXPECT_EQ(slurp(cut), whole.substr(0, 1000));

  // A stall sends its part and then nothing: only the client's time-out ends it.
  Fetched stalled =
      fetch(mirror("/maps/fault/stall/500/ze_atix_panic_b3t.bsp.bz2"), "GET", "", 1000);
  EXPECT_EQ(stalled.code, CURLE_OPERATION_TIMEDOUT);
  EXPECT_EQ(stalled.status, 200);
  EXPECT_EQ(stalled.body, whole.substr(0, 500));
}

TEST_F(SimMirrorTest, StatusHtmlSlowAndEmptyAnswers) {
  int status = 0;
  for (int code : {404, 500}) {
    std::string page = slurp(
        download(mirror("/maps/fault/status/" + std::to_string(code) + "/de_x.bsp.bz2"), status));
    EXPECT_EQ(status, code);
    EXPECT_NE(page.find("<html>"), std::string::npos);
  }
  // 200 with a web page where the map should be: the "map" does not decompress.
  std::string page = download_ok(mirror("/maps/fault/html/0/de_x.bsp.bz2"));
  EXPECT_EQ(slurp(page).rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_NE(run_tool({"bzip2", "-dc", page}), 0);
  fs::remove(page);

  // An unlisted name is a 256 KiB map; slowly it arrives whole, at no more than the rate.
  const std::string whole = slurp(download_ok(mirror("/maps/genbz2/262144/de_x.bsp.bz2")));
  fs::remove(dir_.file("de_x.bsp.bz2"));
  const auto start = std::chrono::steady_clock::now();
  std::string slow = download_ok(mirror("/maps/fault/slow/200000/de_x.bsp.bz2"));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(slurp(slow), whole);
  const auto pieces = (whole.size() + 19999) / 20000;  // a tenth of the rate per 100 ms
  EXPECT_GE(took, std::chrono::milliseconds(100 * (pieces - 1) - 50));

  std::string empty = download_ok(mirror("/maps/empty/de_empty.bsp.bz2"));
  EXPECT_TRUE(fs::exists(empty));
  EXPECT_EQ(fs::file_size(empty), 0u);
}

TEST_F(SimMirrorTest, GeneratedFilesForBenchmarks) {
  EXPECT_EQ(slurp(download_ok(mirror("/maps/gen/3000001/de_big.bsp"))),
            sim::generated_bytes(0, 3000001));
  // A generated bzip2 map of a listed map's size is that map.
  const std::uint64_t size = listed_size("awp", "awp_map_classic");
  ASSERT_GT(size, 0u);
  std::string bz2 =
      download_ok(mirror("/maps/genbz2/" + std::to_string(size) + "/awp_map_classic.bsp.bz2"));
  std::string plain = dir_.file("plain.bsp");
  ASSERT_EQ(run_tool({"bzip2", "-dc", bz2}, plain), 0);
  EXPECT_EQ(slurp(plain), slurp(download_ok(mirror("/maps/awp_map_classic.bsp"))));
}

TEST_F(SimMirrorTest, HostileAndCorruptArchives) {
  for (const char* form : {"zip", "7z"}) {
    SCOPED_TRACE(form);
    std::string dotdot =
        download_ok(mirror(std::string("/maps/hostile/dotdot/t1/evil_pack.") + form));
    EXPECT_EQ(entries(dotdot), (std::set<std::string>{"csgo", "csgo/maps",
                                                      "csgo/maps/evil_pack.bsp", "../evil.bsp"}));
    fs::remove(dotdot);
    std::string absolute =
        download_ok(mirror(std::string("/maps/hostile/absolute/t1/evil_pack.") + form));
    EXPECT_EQ(entries(absolute),
              (std::set<std::string>{"csgo", "csgo/maps", "csgo/maps/evil_pack.bsp",
                                     "/tmp/brindle-evil-t1/evil.bsp"}));
  }
  EXPECT_FALSE(fs::exists("/tmp/brindle-evil-t1"));  // making it wrote nothing there

  std::string corrupt = download_ok(mirror("/maps/corrupt/ze_atix_panic_b3t.bsp.bz2"));
  EXPECT_EQ(slurp(corrupt).substr(0, 4), "BZh9");
  EXPECT_NE(run_tool({"bzip2", "-dc", corrupt}), 0);
  EXPECT_NE(run_tool({"7zz", "t", corrupt}), 0);
}

TEST_F(SimMirrorTest, ScriptedListsReplaceAGroupUntilRestored) {
  const std::string admin = sim_->http_url("/test/mapdata");
  const std::int64_t before = sim_->request_count("/software/mapdata/zm.html");
  int status = 0;

  EXPECT_EQ(fetch(admin + "/zm", "POST", "{not json").status, 200);
  EXPECT_EQ(http_request(list_url("zm"), {}, &status), "{not json");
  EXPECT_EQ(status, 200);
  EXPECT_EQ(fetch(admin + "/zm?status=500", "POST", "[]").status, 200);
  EXPECT_EQ(http_request(list_url("zm"), {}, &status), "[]");
  EXPECT_EQ(status, 500);
  // A group of the test's own.
  EXPECT_EQ(fetch(admin + "/zz_test", "POST", R"([{"mapname":"a","size":"x"}])").status, 200);
  EXPECT_EQ(http_request(list_url("zz_test"), {}, &status), R"([{"mapname":"a","size":"x"}])");

  EXPECT_EQ(fetch(admin + "/zm", "DELETE").status, 200);
  auto list = nlohmann::json::parse(http_request(list_url("zm"), {}, &status), nullptr, false);
  EXPECT_EQ(status, 200);
  EXPECT_TRUE(list.is_array() && list.size() == 4u);
  http_request(list_url("zz_test"), {}, &status);
  EXPECT_EQ(status, 200);
  EXPECT_EQ(fetch(admin, "DELETE").status, 200);
  http_request(list_url("zz_test"), {}, &status);
  EXPECT_EQ(status, 404);
  EXPECT_EQ(sim_->request_count("/software/mapdata/zm.html"), before + 3);
}

TEST_F(SimMirrorTest, HelpPrintsTheUsageAndSucceeds) {
  std::string out = dir_.file("help.txt");
  ASSERT_EQ(run_tool({BRINDLE_SIM_PATH, "--help"}, out), 0);
  std::string help = slurp(out);
  for (const char* text :
       {"usage: brindle-sim", "--cache-dir", "--mapdata", "--a2s N", "/software/mapdata/GROUP.html",
        "/maps/fault/cut/N/FILE", "/maps/hostile/absolute/TOKEN/", "/test/mapdata"}) {
    EXPECT_NE(help.find(text), std::string::npos) << text;
  }
  EXPECT_EQ(run_tool({BRINDLE_SIM_PATH, "--no-such-switch"}), 2);
}

}  // namespace
}  // namespace brindle
