// The favourites page on real files in a temp folder, the favourites cloud of brindle-sim over
// HTTPS with the real libcurl, fake game servers on UDP for the live rows, and the page's buttons
// and context menu through the scripted test ports. Joins are captured, never opened.
#include "servers/favourites.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/core.h"
#include "app/endpoints.h"
#include "foundation/encoding.h"
#include "platform/platform.h"
#include "servers/favourites_cloud.h"
#include "servers/favourites_view.h"
#include "servers/join.h"
#include "servers/query_engine.h"
#include "sim/a2s_responder.h"
#include "support/poll.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"
#include "view/control_names.h"
#include "view/test_ports.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;

constexpr const char* kA = "192.0.2.1:27015";
constexpr const char* kB = "192.0.2.2:27016";
constexpr const char* kC = "192.0.2.3:27017";

using test::Eventually;

std::string ListText(const std::vector<std::string>& addresses) {
  std::string text = "[";
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    text += (i ? ",{\"ip\":\"" : "{\"ip\":\"") + addresses[i] + "\"}";
  }
  return text + "]";
}

class FavouritesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    sim_ = new test::SimProcess();
    if (!sim_->running()) return;
    std::string tokens;
    for (int uid = 1; uid <= 200; ++uid) {
      tokens += "tok-" + std::to_string(uid) + " " + std::to_string(uid) + "\n";
    }
    test::spit(fs::path(sim_->data_dir()) / "favourites_tokens.txt", tokens);
  }
  static void TearDownTestSuite() {
    delete sim_;
    sim_ = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(sim_->running()) << sim_->error();
    cl_.program_dir = dir_.path().string();
    cl_.endpoints_file = sim_->endpoints_file();
    ASSERT_TRUE(core_.Prepare(cl_));
    // Main-window creation would set the data folder; this test needs no more of it.
    state_.data_dir = (dir_.path() / "qdata").string();
    fs::create_directories(state_.data_dir);
    path_ = FavouritesPath(state_);
    ASSERT_EQ(path_, state_.data_dir + platform::path_separator() + "my_favorite.json");
    core_.AddFeature(std::make_unique<FavouritesFeature>());
    state_.initialised = true;
    JoinHooks hooks;
    hooks.open_url = [this](const std::string& url) {
      std::lock_guard lock(mutex_);
      opened_.push_back(url);
    };
    hooks.steam_clients = [] { return SteamClients{}; };
    SetJoinHooks(std::move(hooks));
  }
  void TearDown() override {
    core_.workers().StopAndJoin();
    SetJoinHooks({});
  }

  // A user of its own for every test, so the cloud starts empty.
  int LogIn() {
    static int next_uid = 1;
    const int uid = next_uid++;
    std::lock_guard lock(state_.mutex);
    state_.login.uid = std::to_string(uid);
    state_.login.user_auth = "tok-" + std::to_string(uid);
    return uid;
  }
  void SeedCloud(int uid, const std::string& body) {
    fs::create_directories(fs::path(sim_->data_dir()) / "favourites_cloud");
    test::spit(fs::path(sim_->data_dir()) / "favourites_cloud" / (std::to_string(uid) + ".json"),
               body);
  }
  // What the cloud holds for the logged-in user, asked as the restore asks.
  std::string CloudList() { return CloudFavourites(core_, kRestoreDummyAddress, 0, "GetData"); }

  void WriteFile(const std::string& text) { test::spit(path_, text); }
  std::string FileText() const { return test::slurp(path_); }
  std::vector<std::string> Addresses() {
    std::vector<std::string> out;
    for (const ListRow& row : list().Rows()) out.push_back(row[cols::kFavAddress]);
    return out;
  }
  void WaitForJobs() {
    ASSERT_TRUE(Eventually([&] { return core_.workers().Running() == 0; }));
  }
  std::vector<std::string> Opened() {
    std::lock_guard lock(mutex_);
    return opened_;
  }

  Window& window() { return tw_.window(); }
  TestPorts& ports() { return tw_.ports(); }
  Controls& controls() { return window().controls(); }
  ListModel& list() { return window().favourites(); }
  std::string Menu(const char* item) { return names::menu_action(names::kFavouritesList, item); }

  static test::SimProcess* sim_;
  test::TempDir dir_;
  CommandLine cl_;
  TestWindow tw_;
  AppState state_;
  Core core_{state_, tw_.window()};
  std::string path_;
  std::mutex mutex_;
  std::vector<std::string> opened_;
};

test::SimProcess* FavouritesTest::sim_ = nullptr;

// ---- The file --------------------------------------------------------------------------------

TEST_F(FavouritesTest, LoadCleansValuesSkipsAddressesWithoutPortAndShowsTypeid) {
  list().Append({"kept"});
  EXPECT_EQ(LoadFavourites(core_), LoadResult::kNoFile);
  EXPECT_EQ(list().RowCount(), 1);

  WriteFile(
      "[{\"ip\":\"  192.0.2.1:27015 \",\"typeid\":\"3\"},{\"ip\":\"192.0.2.9\"},"
      "{\"ip\":\"\\\"192.0.2.2:27016\\\"\",\"typeid\":\" " +
      gbk("国服") +
      " \"},"
      "{\"typeid\":\"1\"},{\"ip\":\"no-such-host.invalid:27015\"}]");
  EXPECT_EQ(LoadFavourites(core_), LoadResult::kLoaded);
  ASSERT_EQ(Addresses(), (std::vector<std::string>{kA, kB, "no-such-host.invalid:27015"}));
  ListRow first(10);
  first[cols::kFavName] = first[cols::kFavAddress] = kA;
  first[cols::kFavTypeStr] = "3";
  EXPECT_EQ(list().Row(0), first);
  EXPECT_EQ(list().Cell(1, cols::kFavTypeStr), gbk("国服"));
  // A host that does not resolve keeps its address as its name and gets no ipv4.
  EXPECT_EQ(list().Cell(2, cols::kFavName), "no-such-host.invalid:27015");
  EXPECT_EQ(list().Cell(2, cols::kFavIpv4), "");
  EXPECT_TRUE(ports().Notices().empty());
}

TEST_F(FavouritesTest, AddKeepsWhatTheListDoesNotShowAndThePreviousFile) {
  const std::string before =
      "[{\"ip\":\"192.0.2.1:27015\",\"typeid\":\"3\"},{\"ip\":\"192.0.2.9\"}]";
  WriteFile(before);
  core_.ShowPage(names::kFavouritesPage);
  ASSERT_EQ(list().RowCount(), 1);

  EXPECT_EQ(AddFavourite(core_, kB), AddResult::kAdded);
  // The skipped entry and the typeid stay; only the new entry is written.
  EXPECT_EQ(FileText(),
            "[{\"ip\":\"192.0.2.1:27015\",\"typeid\":\"3\"},{\"ip\":\"192.0.2.9\"},"
            "{\"ip\":\"192.0.2.2:27016\"}]");
  EXPECT_EQ(test::slurp(path_ + ".bak"), before);
  EXPECT_EQ(Addresses(), (std::vector<std::string>{kA, kB}));
  EXPECT_EQ(list().Cell(0, cols::kFavTypeStr), "3");

  const std::string two = FileText();
  EXPECT_EQ(AddFavourite(core_, kA), AddResult::kExists);
  EXPECT_EQ(ports().Notices(), std::vector<std::string>{gbk("服务器已存在!")});
  EXPECT_EQ(FileText(), two);
  EXPECT_EQ(list().RowCount(), 2);

  // Another program added kC since the list was built: no second entry, the list catches up.
  WriteFile(ListText({kA, kB, kC}));
  EXPECT_EQ(AddFavourite(core_, kC), AddResult::kExists);
  EXPECT_EQ(FileText(), ListText({kA, kB, kC}));
  EXPECT_EQ(Addresses(), (std::vector<std::string>{kA, kB, kC}));

  // A new file in a folder that has none.
  fs::remove(path_);
  fs::remove(path_ + ".bak");
  list().Clear();
  EXPECT_EQ(AddFavourite(core_, kC), AddResult::kAdded);
  EXPECT_EQ(FileText(), ListText({kC}));
  EXPECT_FALSE(fs::exists(path_ + ".bak"));

  // Before the data folder is known there is no file to write, and no fallback path.
  AppState bare;
  EXPECT_EQ(FavouritesPath(bare), "");
}

TEST_F(FavouritesTest, AddFromTheServerListBeforeThePageWasShownKeepsTheFile) {
  WriteFile(ListText({kA, kB}));
  ASSERT_EQ(list().RowCount(), 0);
  EXPECT_EQ(AddFavourite(core_, kB), AddResult::kExists);
  EXPECT_EQ(FileText(), ListText({kA, kB}));
  list().Clear();
  EXPECT_EQ(AddFavourite(core_, kC), AddResult::kAdded);
  EXPECT_EQ(FileText(), ListText({kA, kB, kC}));
  EXPECT_EQ(Addresses(), (std::vector<std::string>{kA, kB, kC}));
}

TEST_F(FavouritesTest, ServerListEntryWithLaunchOptionsInItsAddressIsNotAdded) {
  WriteFile(ListText({kA}));
  EXPECT_EQ(AddFavourite(core_, "192.0.2.9:27015 +exec autoexec"), AddResult::kInvalid);
  EXPECT_EQ(ports().Notices(), std::vector<std::string>{gbk("服务器地址无效")});
  EXPECT_EQ(FileText(), ListText({kA}));
  EXPECT_EQ(AddFavourite(core_, "play.brindle.example:27015"), AddResult::kAdded);
  EXPECT_EQ(FileText(), ListText({kA, "play.brindle.example:27015"}));
}

TEST_F(FavouritesTest, AddDialogNormalisesOrRefusesTheTypedAddress) {
  auto type_and_confirm = [&](const std::string& typed) {
    ASSERT_TRUE(window().Activate(names::kAddServer));
    EXPECT_TRUE(controls().Visible(names::kAddServerWindow));
    EXPECT_EQ(controls().Caption(names::kAddServerBox), "");
    controls().SetCaption(names::kAddServerBox, typed);
    ASSERT_TRUE(window().Activate(names::kAddServerConfirm));
  };
  type_and_confirm("192.0.2.1" + gbk("：") + "27015");
  EXPECT_FALSE(controls().Visible(names::kAddServerWindow));
  type_and_confirm("  192.0.2.2::27016 ");
  type_and_confirm("192.0.2.3:27017:99");  // the first two pieces only
  EXPECT_EQ(FileText(), ListText({kA, kB, kC}));

  const std::string refused = gbk("IP格式不合法!请检查!");
  for (const std::string typed :
       {"192.0.2.4", "192.0.2.4:", ":27015", "192.0.2.4:port", "192.0.2.4:70000", "192.0.2.4:0", "",
        "evil host:27015", "192.0.2.4:27015 +exec autoexec", "192.0.2.4:+27015",
        "192.0.2.4 +quit:27015"}) {
    type_and_confirm(typed);
    EXPECT_TRUE(controls().Visible(names::kAddServerWindow)) << typed;
    EXPECT_EQ(ports().Notices().back(), refused) << typed;
  }
  EXPECT_EQ(FileText(), ListText({kA, kB, kC}));
  EXPECT_EQ(list().RowCount(), 3);
}

TEST_F(FavouritesTest, UnreadableFileIsNeverChanged) {
  for (const std::string broken : {"{not json", "{\"ip\":\"192.0.2.1:27015\"}", "garbage"}) {
    list().Clear();
    list().Append({kA, "", "", kA});
    WriteFile(broken);
    core_.ShowPage(names::kFavouritesPage);
    EXPECT_EQ(ports().Notices().back(), gbk("无法解析收藏夹文件")) << broken;
    EXPECT_EQ(Addresses(), std::vector<std::string>{kA});  // the list is left as it was

    // Neither an add nor a delete writes over it, now or later.
    EXPECT_EQ(AddFavourite(core_, kB), AddResult::kUnreadable) << broken;
    EXPECT_EQ(ports().Notices().back(), gbk("无法解析收藏夹文件"));
    list().Select(0);
    ASSERT_TRUE(window().Activate(Menu(names::kMenuDelete)));
    EXPECT_EQ(DeleteFavourite(core_, kA, false), FileEdit::kUnreadable);
    EXPECT_EQ(FileText(), broken);
    EXPECT_FALSE(fs::exists(path_ + ".bak"));
  }

  // A restore from the cloud does replace it, but keeps it under a name of its own first.
  SeedCloud(LogIn(), ListText({kC}));
  EXPECT_EQ(RestoreFavourites(core_), RestoreResult::kRestored);
  EXPECT_EQ(test::slurp(path_ + ".bad"), "garbage");
  EXPECT_EQ(Addresses(), std::vector<std::string>{kC});
}

TEST_F(FavouritesTest, BackupsKeepSeveralGenerationsOfLists) {
  WriteFile("[]");
  EXPECT_EQ(AddFavourite(core_, kA), AddResult::kAdded);
  EXPECT_FALSE(fs::exists(path_ + ".bak"));  // an empty list is not worth a backup
  const std::vector<std::string> extra = {"192.0.2.4:1", "192.0.2.5:1", "192.0.2.6:1",
                                          "192.0.2.7:1"};
  std::vector<std::string> files = {FileText()};
  for (const std::string& address : extra) {
    ASSERT_EQ(AddFavourite(core_, address), AddResult::kAdded);
    files.push_back(FileText());
  }
  // Newest first: the file before the last add, then the ones before it; the oldest is gone.
  ASSERT_EQ(kFavouritesBackupGenerations, 4);
  EXPECT_EQ(test::slurp(path_ + ".bak"), files[3]);
  EXPECT_EQ(test::slurp(path_ + ".bak.1"), files[2]);
  EXPECT_EQ(test::slurp(path_ + ".bak.2"), files[1]);
  EXPECT_EQ(test::slurp(path_ + ".bak.3"), files[0]);
  EXPECT_FALSE(fs::exists(path_ + ".bak.4"));

  // An emptied list and a blank file push no good generation out.
  WriteFile("[]");
  EXPECT_EQ(AddFavourite(core_, kB), AddResult::kAdded);
  EXPECT_EQ(test::slurp(path_ + ".bak"), files[3]);
  EXPECT_EQ(AddFavourite(core_, kC), AddResult::kAdded);
  EXPECT_EQ(test::slurp(path_ + ".bak"), ListText({kB}));
  EXPECT_EQ(test::slurp(path_ + ".bak.1"), files[3]);
  EXPECT_EQ(test::slurp(path_ + ".bak.3"), files[1]);
  WriteFile("   ");
  EXPECT_EQ(AddFavourite(core_, "192.0.2.8:1"), AddResult::kAdded);
  EXPECT_EQ(FileText(), ListText({"192.0.2.8:1"}));
  EXPECT_EQ(test::slurp(path_ + ".bak"), ListText({kB}));
}

// ---- Deleting ----------------------------------------------------------------------------------

TEST_F(FavouritesTest, DeleteWithoutLoginRemovesTheEntryFromTheFileToo) {
  const std::int64_t requests = sim_->request_count("/favourites/json.php");
  WriteFile(ListText({kA, kB, kC}));
  core_.ShowPage(names::kFavouritesPage);
  list().Select(1);
  ASSERT_TRUE(window().Activate(Menu(names::kMenuDelete)));
  EXPECT_TRUE(ports().Boxes().empty());
  EXPECT_EQ(Addresses(), (std::vector<std::string>{kA, kC}));
  EXPECT_EQ(FileText(), ListText({kA, kC}));
  // The next visit of the page does not bring it back.
  core_.ShowPage(names::kFavouritesPage);
  EXPECT_EQ(Addresses(), (std::vector<std::string>{kA, kC}));
  EXPECT_EQ(sim_->request_count("/favourites/json.php"), requests);
}

TEST_F(FavouritesTest, DeleteWithLoginFollowsTheAnswer) {
  LogIn();
  WriteFile(ListText({kA, kB, kC}));
  core_.ShowPage(names::kFavouritesPage);
  ASSERT_EQ(BackupFavourites(core_), BackupResult::kSent);
  const std::string all_three = CloudList();
  ASSERT_NE(all_three.find(kC), std::string::npos);

  // "取消操作": nothing.
  list().Select(0);
  ports().ScriptAnswer(2);
  ASSERT_TRUE(window().Activate(Menu(names::kMenuDelete)));
  ASSERT_EQ(ports().Boxes().size(), 1u);
  const TestPorts::AskedBox box = ports().Boxes()[0];
  EXPECT_EQ(box.title, gbk("确认操作提示:"));
  EXPECT_EQ(box.text, gbk("是否确认 并从云端删除此服务器?"));
  EXPECT_EQ(box.buttons, gbk("同时在云端删除&&不改变云端&&取消操作"));
  EXPECT_EQ(list().RowCount(), 3);
  EXPECT_EQ(FileText(), ListText({kA, kB, kC}));

  // "不改变云端": the file and the list only.
  ports().ScriptAnswer(1);
  ASSERT_TRUE(window().Activate(Menu(names::kMenuDelete)));
  EXPECT_EQ(Addresses(), (std::vector<std::string>{kB, kC}));
  EXPECT_EQ(FileText(), ListText({kB, kC}));
  EXPECT_EQ(ports().Notices().back(), gbk("已删除 "));
  EXPECT_EQ(CloudList(), all_three);

  // "同时在云端删除": the cloud too, on a worker.
  list().Select(1);
  ports().ScriptAnswer(0);
  ASSERT_TRUE(window().Activate(Menu(names::kMenuDelete)));
  EXPECT_EQ(Addresses(), std::vector<std::string>{kB});
  EXPECT_EQ(FileText(), ListText({kB}));
  WaitForJobs();
  EXPECT_EQ(ports().Notices().back(), gbk("已删除本地和云端"));
  EXPECT_EQ(CloudList().find(kC), std::string::npos);
  EXPECT_NE(CloudList().find(kA), std::string::npos);
}

// ---- The cloud ---------------------------------------------------------------------------------

TEST_F(FavouritesTest, BackupThenRestoreRoundTrip) {
  LogIn();
  WriteFile(ListText({kA, kB}));
  core_.ShowPage(names::kFavouritesPage);
  // The colon travels percent-encoded.
  EXPECT_EQ(CloudBackupBody({kA}), "[{\"x2\":\"192.0.2.1%3A27015\"}]");
  ASSERT_EQ(BackupFavourites(core_), BackupResult::kSent);
  EXPECT_EQ(ports().Notices().back(), gbk("备份成功 共2个服务器"));  // the service's answer

  fs::remove(path_);
  FavouritesFileOf(core_)->Reload();
  list().Clear();
  const std::int64_t before = ports().NowMs();
  EXPECT_EQ(RestoreFavourites(core_), RestoreResult::kRestored);
  EXPECT_EQ(ports().NowMs() - before, 5000);  // the pause, with the window kept alive
  EXPECT_EQ(ports().Notices().back(), gbk("下载成功!"));
  // The answer is stored as it came, typeid and all.
  EXPECT_EQ(FileText(),
            "[{\"ip\":\"192.0.2.1:27015\",\"typeid\":\"0\"},"
            "{\"ip\":\"192.0.2.2:27016\",\"typeid\":\"0\"}]");
  EXPECT_EQ(Addresses(), (std::vector<std::string>{kA, kB}));
  EXPECT_EQ(list().Cell(1, cols::kFavTypeStr), "0");
}

TEST_F(FavouritesTest, CloudNeedsALogin) {
  const std::int64_t requests = sim_->request_count("/favourites/json.php");
  WriteFile(ListText({kA}));
  const std::string before = FileText();
  EXPECT_EQ(RestoreFavourites(core_), RestoreResult::kRefused);
  EXPECT_EQ(ports().Notices().back(), gbk("需要登录"));
  EXPECT_EQ(BackupFavourites(core_), BackupResult::kRefused);
  EXPECT_EQ(ports().Notices().back(), gbk("请登录"));
  {
    std::lock_guard lock(state_.mutex);
    state_.login.uid = "0";  // not a positive number: still logged out
    state_.login.user_auth = "tok-1";
  }
  EXPECT_EQ(RestoreFavourites(core_), RestoreResult::kRefused);
  EXPECT_EQ(CloudFavourites(core_, kA, 0, "Delete"), "");
  EXPECT_EQ(sim_->request_count("/favourites/json.php"), requests);
  EXPECT_EQ(FileText(), before);
}

TEST_F(FavouritesTest, RestoreLeavesTheFileAloneWithoutAUsableAnswer) {
  WriteFile(ListText({kA}));
  const std::string file = FileText();
  const std::string nothing = gbk("未获取到服务器数据 您可能没有上传到云端 或 远程服务器不可用");

  LogIn();  // nothing stored in the cloud
  EXPECT_EQ(RestoreFavourites(core_), RestoreResult::kEmpty);
  EXPECT_EQ(controls().Caption(names::kStatusLine), nothing);

  SeedCloud(LogIn(), "<html>busy</html>");
  EXPECT_EQ(RestoreFavourites(core_), RestoreResult::kUnreadable);
  std::vector<std::string> notices = ports().Notices();
  ASSERT_GE(notices.size(), 2u);
  EXPECT_EQ(notices[notices.size() - 2], gbk("下载失败!"));
  EXPECT_EQ(notices.back(), nothing);

  SeedCloud(LogIn(), "{\"error\":\"maintenance\"}");  // JSON, but no list of servers
  EXPECT_EQ(RestoreFavourites(core_), RestoreResult::kUnreadable);

  {
    std::lock_guard lock(state_.mutex);
    state_.login.user_auth = "expired-token";  // the service answers 403
  }
  EXPECT_EQ(RestoreFavourites(core_), RestoreResult::kEmpty);
  EXPECT_EQ(FileText(), file);
  EXPECT_FALSE(fs::exists(path_ + ".bak"));
}

TEST_F(FavouritesTest, RestoredTypeidsStayThroughLaterAdds) {
  SeedCloud(LogIn(),
            "[{\"ip\":\"192.0.2.1:27015\",\"typeid\":\"5\"},"
            "{\"ip\":\"192.0.2.2:27016\",\"typeid\":\"国服\"}]");
  WriteFile(ListText({kC}));
  EXPECT_EQ(RestoreFavourites(core_), RestoreResult::kRestored);
  EXPECT_EQ(test::slurp(path_ + ".bak"), ListText({kC}));
  EXPECT_EQ(list().Cell(0, cols::kFavTypeStr), "5");
  EXPECT_EQ(list().Cell(1, cols::kFavTypeStr), gbk("国服"));
  const std::string restored = FileText();
  EXPECT_EQ(AddFavourite(core_, kC), AddResult::kAdded);
  EXPECT_EQ(FileText(), restored.substr(0, restored.size() - 1) + ",{\"ip\":\"192.0.2.3:27017\"}]");
  EXPECT_EQ(list().Cell(1, cols::kFavTypeStr), gbk("国服"));
}

TEST_F(FavouritesTest, RestoreButtonRunsOnAWorker) {
  SeedCloud(LogIn(), "[{\"ip\":\"192.0.2.1:27015\",\"typeid\":\"2\"}]");
  ASSERT_TRUE(window().Activate(names::kRestoreFavourites));
  // The worker waits 5 s of the window's clock before it rebuilds the list.
  ASSERT_TRUE(Eventually([&] { return ports().DelayedWorkers() == 1; }));
  EXPECT_EQ(FileText(), "[{\"ip\":\"192.0.2.1:27015\",\"typeid\":\"2\"}]");
  EXPECT_EQ(list().RowCount(), 0);
  ports().Advance(5000);
  WaitForJobs();
  EXPECT_EQ(Addresses(), std::vector<std::string>{kA});

  ASSERT_TRUE(window().Activate(names::kBackupFavourites));
  WaitForJobs();
  EXPECT_EQ(ports().Notices().back(), gbk("备份成功 共1个服务器"));
}

// ---- The context menu and the live rows --------------------------------------------------------

TEST_F(FavouritesTest, ContextMenuActsOnTheSelectedRow) {
  WriteFile(ListText({kA, kB}));
  core_.ShowPage(names::kFavouritesPage);
  controls().SetChecked(names::kLaunchSteamRunAppid, true);
  controls().SetChecked(names::kRegionWorld, true);
  list().SetCell(0, cols::kFavGame, "csgo");  // as an answer would

  // Nothing selected: every command does nothing.
  for (const char* item : names::kFavouritesMenu) ASSERT_TRUE(window().Activate(Menu(item)));
  ASSERT_TRUE(window().Activate(names::kFavouritesList));
  EXPECT_TRUE(Opened().empty());
  EXPECT_EQ(ports().Clipboard(), "");
  EXPECT_TRUE(ports().Boxes().empty());
  EXPECT_EQ(list().RowCount(), 2);

  list().Select(0);
  ASSERT_TRUE(window().Activate(Menu(names::kMenuJoin)));
  ASSERT_TRUE(window().Activate(names::kFavouritesList));  // the double-click
  list().Select(1);                                        // no answer yet: the plain Steam join
  ASSERT_TRUE(window().Activate(Menu(names::kMenuJoin)));
  const std::string run_game =
      "steam://rungame/730/76561202255233023/+connect 192.0.2.1:27015 -worldwide";
  EXPECT_EQ(Opened(),
            (std::vector<std::string>{run_game, run_game, std::string("steam://connect/") + kB}));

  ASSERT_TRUE(window().Activate(Menu(names::kMenuCopyAddress)));
  EXPECT_EQ(ports().Clipboard(), kB);
}

TEST_F(FavouritesTest, LoadAndRefreshNeverWaitForAHostNameLookup) {
  sim::A2sResponders servers;
  sim::A2sServer named;
  named.name = "Named";
  std::string error;
  ASSERT_TRUE(servers.Start({named}, &error)) << error;
  const std::string address = "ze.brindle.example:" + std::to_string(servers.Ports()[0]);
  // A name server that does not answer until the test lets it.
  std::mutex mutex;
  std::condition_variable changed;
  bool open = false;
  int asked = 0;
  HostLookup previous = SetHostLookup([&](const std::string&) {
    std::unique_lock lock(mutex);
    ++asked;
    changed.wait_for(lock, std::chrono::seconds(20), [&] { return open; });
    return std::string("127.0.0.1");
  });
  auto open_lookups = [&] {
    std::lock_guard lock(mutex);
    open = true;
    changed.notify_all();
  };
  auto times_asked = [&] {
    std::lock_guard lock(mutex);
    return asked;
  };

  StartQueryEngine(core_);
  ASSERT_TRUE(QueryEngineStarted());
  WriteFile(ListText({address}));
  core_.ShowPage(names::kFavouritesPage);  // comes back with the lookup still blocked
  ASSERT_TRUE(window().Activate(names::kRefreshFavourites));
  EXPECT_TRUE(Eventually([&] { return times_asked() == 1; }));
  EXPECT_EQ(list().Cell(0, cols::kFavName), address);
  EXPECT_EQ(servers.Counts(0).info_requests, 0);

  open_lookups();
  EXPECT_TRUE(Eventually([&] { return list().Cell(0, cols::kFavName) == "Named"; }));
  EXPECT_EQ(list().Cell(0, cols::kFavIpv4), "127.0.0.1:" + std::to_string(servers.Ports()[0]));
  EXPECT_TRUE(Eventually([&] { return servers.Counts(0).info_requests == 2; }));  // load, refresh
  core_.workers().StopAndJoin();
  SetHostLookup(std::move(previous));
}

TEST_F(FavouritesTest, LiveRowsPlayersPanelAndRefresh) {
  sim::A2sResponders servers;
  sim::A2sServer answering;
  answering.name = "Brindle ZE #1";
  answering.players = {{"alice", 12, 3725.6f}, {"", 3, 10.0f}};
  sim::A2sServer silent;
  silent.silent = true;
  std::string error;
  ASSERT_TRUE(servers.Start({answering, silent}, &error)) << error;
  const std::string live = servers.Address(0);
  const std::string dead = servers.Address(1);

  StartQueryEngine(core_);
  ASSERT_TRUE(QueryEngineStarted());
  WriteFile(ListText({live, dead}));
  controls().SetVisible(names::kPlayerPanel, true);
  core_.ShowPage(names::kFavouritesPage);
  EXPECT_FALSE(controls().Visible(names::kPlayerPanel));
  ASSERT_TRUE(Eventually([&] { return list().Cell(0, cols::kFavGame) == "csgo"; }));
  EXPECT_EQ(list().Cell(0, cols::kFavName), "Brindle ZE #1");
  EXPECT_EQ(list().Cell(0, cols::kFavPlayers), "2/64");
  EXPECT_EQ(list().Cell(1, cols::kFavName), dead);  // never answers: the address stays

  list().Select(0);
  ASSERT_TRUE(window().Activate(Menu(names::kMenuDetails)));
  EXPECT_EQ(controls().Caption(names::kStatusLine),
            gbk("查询玩家情况-> ") + live + gbk("(人多时可能不会反馈)"));
  ASSERT_TRUE(Eventually([&] { return window().players().RowCount() == 2; }));
  EXPECT_TRUE(controls().Visible(names::kPlayerPanel));
  EXPECT_EQ(window().players().Row(0), (ListRow{"alice", "12", "01:02:06"}));
  ASSERT_TRUE(window().Activate(names::kClosePlayerPanel));
  EXPECT_FALSE(controls().Visible(names::kPlayerPanel));

  // The player request's challenge also brought an information request with it; let its answer
  // land, then refresh: every row is asked again.
  ASSERT_TRUE(Eventually([&] { return servers.Counts(0).info_replies == 2; }));
  ASSERT_EQ(servers.Counts(0).info_requests, 1);
  ASSERT_TRUE(window().Activate(names::kRefreshFavourites));
  EXPECT_TRUE(Eventually([&] { return servers.Counts(0).info_requests == 2; }));
  EXPECT_TRUE(Eventually([&] { return servers.Counts(0).info_replies == 3; }));
  EXPECT_TRUE(Eventually([&] { return servers.Counts(1).info_requests == 2; }));
  ASSERT_TRUE(Eventually([&] { return list().Cell(0, cols::kFavName) == "Brindle ZE #1"; }));

  // Joining the answering server goes by its game: csgo.
  controls().SetChecked(names::kLaunchSteam, true);
  ASSERT_TRUE(window().Activate(names::kFavouritesList));
  EXPECT_EQ(Opened(), std::vector<std::string>{"steam://connect/" + live});
  servers.Stop();
}

}  // namespace
}  // namespace brindle
