// The design names of the main window's controls, dialogs and clocks, in one place. Names are
// UTF-8 (they double as Qt objectName values); captions in the table are UTF-8 too and are turned
// into GBK when the control registry is built. Everything the features show is GBK.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace brindle::names {

// ---- Frame, navigation and shared areas --------------------------------------------------------

inline constexpr const char* kCloseMain = "超级按钮_关闭M";
inline constexpr const char* kMinimiseMain = "超级按钮_最小化M";
inline constexpr const char* kNavDownload = "超级按钮_资源下载";
inline constexpr const char* kNavDownloadLabel = "左侧标签_资源下载";
inline constexpr const char* kNavServers = "超级按钮_服务器";
inline constexpr const char* kNavServersLabel = "左侧标签_服务器";
inline constexpr const char* kNavFavourites = "超级按钮_我的收藏";
inline constexpr const char* kNavFavouritesLabel = "左侧标签_我的收藏";
inline constexpr const char* kNavForum = "超级按钮_论坛";
inline constexpr const char* kNavForumLabel = "左侧标签_论坛";
inline constexpr const char* kNavTools = "超级按钮_工具";
inline constexpr const char* kNavToolsLabel = "左侧标签_工具";
// The page container; its `value` is the current page (see the k*Page indices below).
inline constexpr const char* kPages = "选择夹EX1";
inline constexpr const char* kAvatar = "左侧_头像图片";
inline constexpr const char* kUserName = "左侧标签_用户名";
inline constexpr const char* kSignIn = "左侧用户_注销";
inline constexpr const char* kProductTitle = "标签_标题_M3";
inline constexpr const char* kStatusLine = "底部标签_提示";
inline constexpr const char* kNoticePanel = "分组框_弹出提示";

// Page indices of kPages, in design order.
inline constexpr int kFramePage = -1;  // not on a page: frame, navigation, dialogs
inline constexpr int kDownloadPage = 0;
inline constexpr int kServerPage = 1;
inline constexpr int kFavouritesPage = 2;
inline constexpr int kForumPage = 3;
inline constexpr int kToolsPage = 4;
inline constexpr int kPageCount = 5;
// Page captions (UTF-8), index = page. The tools page is captioned "标题" in the design.
inline constexpr std::array<const char*, kPageCount> kPageCaptions = {"资源下载", "服务器",
                                                                      "我的收藏", "论坛", "标题"};

// ---- Download page -----------------------------------------------------------------------------

inline constexpr const char* kDownloadTitle = "标签_标题_M2";
inline constexpr const char* kDownloadSubtitle = "标签_标题_M1";
// The fifteen map group buttons 下载资源_ZE1 … 下载资源_ZE15, in design order.
inline constexpr std::array<const char*, 15> kMapGroupButtons = {
    "下载资源_ZE1",  "下载资源_ZE2",  "下载资源_ZE3",  "下载资源_ZE4",  "下载资源_ZE5",
    "下载资源_ZE6",  "下载资源_ZE7",  "下载资源_ZE8",  "下载资源_ZE9",  "下载资源_ZE10",
    "下载资源_ZE11", "下载资源_ZE12", "下载资源_ZE13", "下载资源_ZE14", "下载资源_ZE15"};
inline constexpr const char* kPatch = "材质补丁";
inline constexpr const char* kResourceList = "资源下载列表框_EX1";
inline constexpr const char* kDownloadQueue = "资源下载列表框_EX2";
inline constexpr const char* kExtractQueue = "解压队列列表框_EX";
inline constexpr const char* kStartDownload = "开始下载资源";
inline constexpr const char* kClearQueue = "开始下载资源1";
// Cancels the running download and every task waiting behind it.
inline constexpr const char* kCancelDownloads = "取消下载队列";
inline constexpr const char* kAutoExtract = "自动解压至游戏";
inline constexpr const char* kSearchLabel = "标签_ID";
inline constexpr const char* kSearchBox = "编辑框_搜索EX";
inline constexpr const char* kSearchButton = "超级按钮_搜索";
// Mirror line radio buttons: 节点1 = us1, 节点2 = telecom, 节点3 = us2.
inline constexpr const char* kMirror1 = "节点1";
inline constexpr const char* kMirror2 = "节点2";
inline constexpr const char* kMirror3 = "节点3";
inline constexpr const char* kGamePathLabel = "标签_CSGO进程路径";
inline constexpr const char* kChooseCsgo = "路径配置_CSGO";
inline constexpr const char* kChooseCs2 = "路径配置_CS2";
inline constexpr const char* kCsgoFileDialog = "CSGO路径通用对话框";
inline constexpr const char* kCs2FileDialog = "CS2路径通用对话框";
inline constexpr const char* kExecutableFilter = "应用程序(*.exe)";
inline constexpr const char* kPreDownloadLabel = "标签_副标题3";
inline constexpr const char* kPreDownloadSwitch = "滑动按钮EX1";
inline constexpr const char* kLog = "Log框";
// The download summary label (the map check's result, then the download counters and speed).
// The design gives it no name; it sits in the queue's heading.
inline constexpr const char* kDownloadSummary = "标签_下载统计";

// ---- Launch options (two radio groups) ---------------------------------------------------------

inline constexpr const char* kLaunchModeLabel = "标签_副标题1";
inline constexpr const char* kLaunchAuto = "GameRunOPT_Auto";                    // mode 1
inline constexpr const char* kLaunchSteam = "GameRunOPT_Steam";                  // mode 2
inline constexpr const char* kLaunchSteamRunAppid = "GameRunOPT_SteamRunAppid";  // mode 3
inline constexpr const char* kLaunchSteamChina = "GameRunOPT_SteamChina";        // mode 4
inline constexpr const char* kLaunchCs2 = "GameRunOPT_CS2";                      // mode 5
inline constexpr const char* kRegionLabel = "标签_副标题4";
inline constexpr const char* kRegionChina = "GameRunOPT_RegionChina";  // region 1
inline constexpr const char* kRegionWorld = "GameRunOPT_RegionWorld";  // region 2

// ---- Server page -------------------------------------------------------------------------------

inline constexpr const char* kServerTitle = "服务器列表_标题可拖动";
inline constexpr const char* kAllServers = "超级按钮_搜索全部服务器";
// The fourteen category buttons 服务器列表_ZE, 服务器列表_ZE1 … 服务器列表_ZE13, in design order.
inline constexpr std::array<const char*, 14> kCategoryButtons = {
    "服务器列表_ZE",   "服务器列表_ZE1",  "服务器列表_ZE2",  "服务器列表_ZE3", "服务器列表_ZE4",
    "服务器列表_ZE5",  "服务器列表_ZE6",  "服务器列表_ZE7",  "服务器列表_ZE8", "服务器列表_ZE9",
    "服务器列表_ZE10", "服务器列表_ZE11", "服务器列表_ZE12", "服务器列表_ZE13"};
inline constexpr const char* kServerList = "服务器列表_EX";
// Not in the design: what the server list says while it has no rows (loading, a failed fetch
// and its retry, a category without servers), and the filter box over both server lists.
inline constexpr const char* kServerListEmpty = "服务器列表_空列表提示";
inline constexpr const char* kServerFilter = "服务器列表_筛选";
inline constexpr const char* kFavouritesFilter = "服务器收藏列表_筛选";

// ---- Favourites page ---------------------------------------------------------------------------

inline constexpr const char* kFavouritesTitle = "我的收藏EX_标题可拖动";
inline constexpr const char* kRefreshFavourites = "下载资源_ZE16";
inline constexpr const char* kBackupFavourites = "下载资源_ZE17";
inline constexpr const char* kRestoreFavourites = "下载资源_ZE18";
inline constexpr const char* kAddServer = "下载资源_ZE19";
inline constexpr const char* kFavouritesList = "服务器收藏列表_EX1";
inline constexpr const char* kPlayerPanel = "玩家信息_分组框";
inline constexpr const char* kPlayerPanelLabel = "标签_副标题7";
inline constexpr const char* kPlayerList = "玩家列表信息显示_EX";
inline constexpr const char* kClosePlayerPanel = "超级按钮_关闭_玩家信息表单";

// ---- Forum page --------------------------------------------------------------------------------

inline constexpr const char* kForumBrowser = "浏览框EX1";
inline constexpr const char* kSecondBrowser = "浏览框EX2";
inline constexpr const char* kForumTitle = "标签_标题_M6";
inline constexpr const char* kSignInTitle = "标签_标题_M4";
inline constexpr const char* kMusicTitle = "标签_标题_M5";

// ---- Tools page --------------------------------------------------------------------------------

inline constexpr const char* kToolsTitle = "工具集_标题可拖";
inline constexpr const char* kVacFix = "Tools_VacFix";
inline constexpr const char* kKeyBindTitle = "标签_标题_按键绑定";
inline constexpr const char* kBindKeys = "Tools_BindKeys";
inline constexpr const char* kBindKeysForum = "超级按钮_论坛1";
inline constexpr const char* kUpdateDictionary = "更新地图翻译EX";

// ---- Dialog windows ----------------------------------------------------------------------------
// The design gives the two dialogs no control names, so these are ours. A dialog is a control of
// kind kDialog: `visible` = shown (modally over the main window), `caption` = its title.

inline constexpr const char* kLoginWindow = "登录窗口";
inline constexpr const char* kLoginUserLabel = "登录窗口_标签_用户名";
inline constexpr const char* kLoginUserBox = "登录窗口_编辑框_用户名";
inline constexpr const char* kLoginCodeLabel = "登录窗口_标签_安全代码";
inline constexpr const char* kLoginCodeBox = "登录窗口_编辑框_安全代码";
inline constexpr const char* kLoginSecureCodePage = "登录窗口_安全代码页";
inline constexpr const char* kLoginButton = "登录窗口_登录";
inline constexpr const char* kAddServerWindow = "添加服务器窗口";
inline constexpr const char* kAddServerLabel = "添加服务器窗口_标签_地址";
inline constexpr const char* kAddServerBox = "添加服务器窗口_编辑框_地址";
inline constexpr const char* kAddServerConfirm = "添加服务器窗口_确认添加";

// ---- Context menu items of the two server lists ------------------------------------------------
// A menu command is the action named "<list name>/<item caption>" (see menu_action).

inline constexpr const char* kMenuJoin = "加入";
inline constexpr const char* kMenuDetails = "详情";
inline constexpr const char* kMenuCopyAddress = "复制地址";
inline constexpr const char* kMenuAddFavourite = "添加到收藏";
inline constexpr const char* kMenuDelete = "删除";
inline constexpr std::array<const char*, 4> kServerListMenu = {kMenuJoin, kMenuDetails,
                                                               kMenuCopyAddress, kMenuAddFavourite};
inline constexpr std::array<const char*, 4> kFavouritesMenu = {kMenuJoin, kMenuDetails,
                                                               kMenuCopyAddress, kMenuDelete};
// The download queue's row menu: a failed or cancelled task is retried or removed; a waiting or
// running one cancelled.
inline constexpr const char* kMenuRetry = "重试";
inline constexpr const char* kMenuRemove = "移除";
inline constexpr const char* kMenuCancel = "取消";
inline constexpr std::array<const char*, 3> kDownloadQueueMenu = {kMenuRetry, kMenuRemove,
                                                                  kMenuCancel};
// "<list>/<item>", the action name of a context menu command.
std::string menu_action(std::string_view list, std::string_view item);

// ---- Clocks ------------------------------------------------------------------------------------

inline constexpr const char* kClockStartup = "初始化Timer";
inline constexpr const char* kClockGameDetect = "CSGO路径初始化时钟";
inline constexpr const char* kClockStatusClear = "底部提示清理专用";
inline constexpr const char* kClockQueue = "EXUI_下载时钟";
inline constexpr const char* kClockMove = "EXUI_移动到下载任务";
inline constexpr const char* kClockProgress = "DownloadUpdater";
inline constexpr const char* kClockExtract = "UnTarTimer";
inline constexpr const char* kClockPreDownload = "EXUI_预热下载Timer";

struct ClockInfo {
  const char* name;
  std::int64_t period_ms;  // the design period; ours where the design leaves it open
  bool one_shot;           // documentation only: a one-shot clock's handler stops it
};
std::span<const ClockInfo> clocks();
// The design period of a clock, 0 for an unknown name.
std::int64_t clock_period_ms(std::string_view name);

// ---- The control table -------------------------------------------------------------------------

enum class ControlKind {
  kButton,
  kLabel,
  kRadio,
  kCheck,
  kList,
  kEdit,
  kPicture,
  kBrowser,
  kPageContainer,
  kPanel,
  kSlideSwitch,
  kDialog,
  kFileDialog,
};

struct ControlInfo {
  const char* name;
  ControlKind kind;
  const char* caption;  // UTF-8, "" when the design gives none
  int page;             // 0..4, or kFramePage
  int radio_group;      // 0 = none; radios sharing a group exclude each other
  const char* parent;   // owning dialog name, "" for the main window
};

// Radio groups.
inline constexpr int kNoGroup = 0;
inline constexpr int kMirrorGroup = 1;
inline constexpr int kLaunchModeGroup = 2;
inline constexpr int kRegionGroup = 3;

// Every control of the main window and its dialogs, in design order.
std::span<const ControlInfo> controls();
// The table row of a name, nullptr when the name is not in the design.
const ControlInfo* find_control(std::string_view name);

}  // namespace brindle::names
