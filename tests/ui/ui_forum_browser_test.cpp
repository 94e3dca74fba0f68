// The forum page's browsers: the real engine (Qt WebEngine, offscreen) opening brindle-sim's forum
// page over HTTPS, its cookie kept in qdata/miniblink/cookies.dat across a restart of the window
// and gone when that file is deleted (the account's logout); the engine starting only when a
// browser is seen with a page; the page titles; the cookie file and the certificate rule.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <memory>

#include "foundation/http_settings.h"
#include "qt_env.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"
#include "ui/embedded_browser.h"
#include "ui/main_window.h"
#include "ui/pages/pages.h"
#include "ui/qt_ports.h"
#include "ui/widgets.h"
#include "ui/window_binder.h"
#include "view/window.h"

#ifdef BRINDLE_WEB_ENGINE
#include <QNetworkCookie>
#include <QSslCertificate>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include "ui/browser_host.h"
#include "ui/web/browser_storage.h"
#include "ui/web/browser_trust.h"
#include "ui/web/cookie_file.h"
#endif

namespace brindle {
namespace {

using test::ProcessUntil;

constexpr const char* kForumAgent = "TarnLoginLuncher HTTP Client 3.0 Build 10070";

// The main window as the program has it: ports, window model, widgets, in that order (and gone in
// the reverse order, as at the end of the program).
struct ForumWindow {
  explicit ForumWindow(const QString& program_dir, bool shown = true) : window(ports, ports) {
    ports.AttachWindow(&main);
    main.Bind(window, [] { return true; });
    main.SetProgramFolder(program_dir);
    if (shown) main.show();
  }
  ~ForumWindow() { ports.Shutdown(); }

  void Settle() { main.Binder()->Flush(); }
  ui::EmbeddedBrowser* Browser(const char* name) {
    return main.ControlAs<ui::EmbeddedBrowser>(name);
  }
  ui::EmbeddedBrowser* Forum() { return Browser(names::kForumBrowser); }
  ui::EmbeddedBrowser* Second() { return Browser(names::kSecondBrowser); }

  ui::QtPorts ports;
  Window window;
  ui::MainWindow main;
};

TEST(ForumPageTest, TitlesBringTheirBrowserToTheFront) {
  // Not shown: no engine starts, so nothing tries to reach the outside music service.
  ForumWindow w(QString(), false);
  ASSERT_NE(w.Forum(), nullptr);
  ASSERT_NE(w.Second(), nullptr);
  ASSERT_TRUE(w.window.Activate(names::kMusicTitle));
  w.Settle();
  EXPECT_EQ(w.Second()->RequestedUrl().toString(), QString::fromUtf8(ui::kMusicChartUrl));
  EXPECT_EQ(w.Second()->UserAgent(), QString::fromUtf8(ui::kSecondBrowserAgent));
  EXPECT_FALSE(w.window.controls().Get(names::kForumBrowser).visible);
  EXPECT_TRUE(w.Forum()->isHidden());
  EXPECT_FALSE(w.Second()->isHidden());
  EXPECT_FALSE(w.Second()->HasEngine());

  ASSERT_TRUE(w.window.Activate(names::kForumTitle));
  w.Settle();
  EXPECT_FALSE(w.Forum()->isHidden());
  EXPECT_TRUE(w.Second()->isHidden());
  // The reward title is the program's: the window binds nothing there.
  EXPECT_FALSE(w.window.HasAction(names::kSignInTitle));
}

TEST(ForumPageTest, TitlesTheProgramBindsKeepItsHandlers) {
  ui::QtPorts ports;
  Window window(ports, ports);
  int music = 0;
  window.Bind(names::kMusicTitle, [&music] { ++music; });
  ui::MainWindow main;
  ports.AttachWindow(&main);
  main.Bind(window, [] { return true; });
  ASSERT_TRUE(window.Activate(names::kMusicTitle));
  EXPECT_EQ(music, 1);
  EXPECT_TRUE(main.ControlAs<ui::EmbeddedBrowser>(names::kSecondBrowser)->RequestedUrl().isEmpty());
  ports.Shutdown();
}

#ifdef BRINDLE_WEB_ENGINE

// ---- The cookie file and the certificate rule -------------------------------------------------

QNetworkCookie Cookie(const char* name, const char* value, const char* domain) {
  QNetworkCookie c(name, value);
  c.setDomain(QString::fromUtf8(domain));
  c.setPath(QStringLiteral("/"));
  return c;
}

TEST(CookieFileTest, RoundTripKeepsEveryAttributeAndSkipsWhatIsNotACookie) {
  QNetworkCookie host_only = Cookie("sid", "abc", "127.0.0.1");
  host_only.setHttpOnly(true);
  QNetworkCookie domain = Cookie("lang", "zh", ".forum.example");
  domain.setSecure(true);
  domain.setExpirationDate(QDateTime(QDate(2031, 5, 6), QTime(7, 8, 9), Qt::UTC));
  domain.setSameSitePolicy(QNetworkCookie::SameSite::Strict);
  QNetworkCookie broken = Cookie("evil", "a", "127.0.0.1");
  broken.setValue("a\nb=c; domain=.example");  // would become a second line

  const QByteArray bytes = ui::WriteCookieFile({host_only, domain, broken});
  EXPECT_EQ(bytes.count('\n'), 2);
  const QList<QNetworkCookie> back =
      ui::ReadCookieFile(bytes + "garbage without equals\n=novalue; domain=x\nname=v\n\n");
  ASSERT_EQ(back.size(), 2);
  EXPECT_EQ(back[0].name(), "sid");
  EXPECT_EQ(back[0].value(), "abc");
  EXPECT_TRUE(back[0].isHttpOnly());
  EXPECT_TRUE(back[0].isSessionCookie());
  EXPECT_EQ(back[0].domain(), QStringLiteral("127.0.0.1"));
  EXPECT_TRUE(back[1].isSecure());
  EXPECT_EQ(back[1].expirationDate(), domain.expirationDate());
  EXPECT_EQ(back[1].sameSitePolicy(), QNetworkCookie::SameSite::Strict);
  EXPECT_EQ(back[1].domain(), QStringLiteral(".forum.example"));

  // Handed back to the engine: a host-only cookie stays host-only.
  EXPECT_EQ(ui::CookieOrigin(back[0]).toString(), QStringLiteral("https://127.0.0.1/"));
  EXPECT_TRUE(ui::CookieForOrigin(back[0]).domain().isEmpty());
  EXPECT_EQ(ui::CookieOrigin(back[1]).toString(), QStringLiteral("https://forum.example/"));
  EXPECT_EQ(ui::CookieForOrigin(back[1]).domain(), QStringLiteral(".forum.example"));
}

TEST(CookieFileTest, AnOversizedOrHostileFileGivesNoCookies) {
  QByteArray big = ui::WriteCookieFile({Cookie("a", "b", "127.0.0.1")});
  big += QByteArray(ui::kCookieFileLimit, 'x');
  EXPECT_TRUE(ui::ReadCookieFile(big).isEmpty());
  const char binary[] = "\0\xff\xfe; domain=\x01";
  EXPECT_TRUE(ui::ReadCookieFile(QByteArray(binary, sizeof binary - 1)).isEmpty());
  EXPECT_TRUE(ui::ReadCookieFile("a=b; domain=bad host name!\n").isEmpty());
}

TEST(CertificateRuleTest, TheClientsCaFileAndItsOptOutDecide) {
  test::SimProcess sim;
  ASSERT_TRUE(sim.running()) << sim.error();
  const QList<QSslCertificate> trusted =
      QSslCertificate::fromPath(QString::fromStdString(sim.ca_file()));
  ASSERT_EQ(trusted.size(), 1);
  test::SimProcess other;
  ASSERT_TRUE(other.running()) << other.error();
  const QList<QSslCertificate> stranger =
      QSslCertificate::fromPath(QString::fromStdString(other.ca_file()));

  ui::CertificateProblem ours{true, true, trusted};
  ui::CertificateProblem theirs{true, true, stranger};
  EXPECT_TRUE(ui::AcceptCertificate(ours, trusted, true));
  EXPECT_FALSE(ui::AcceptCertificate(theirs, trusted, true));
  EXPECT_FALSE(ui::AcceptCertificate(ours, {}, true));
  // The file mends an unknown authority only, not a wrong host name or an expired certificate.
  ui::CertificateProblem wrong_host{true, false, trusted};
  EXPECT_FALSE(ui::AcceptCertificate(wrong_host, trusted, true));
  // tls_verify=0 accepts whatever the engine lets us accept.
  EXPECT_TRUE(ui::AcceptCertificate(theirs, {}, false));
  EXPECT_FALSE(ui::AcceptCertificate({false, true, trusted}, trusted, false));
}

// ---- The real engine against brindle-sim ------------------------------------------------------

constexpr int kEngineLimitMs = 60000;  // a guard against a hang, not a timing

QWebEngineView* ViewOf(ui::EmbeddedBrowser* browser) {
  return qobject_cast<QWebEngineView*>(browser->View());
}

ui::BrowserStorage* StorageOf(ForumWindow& w) {
  ui::BrowserEngine* engine = w.main.Browsers()->Loaded();
  return engine == nullptr ? nullptr : qobject_cast<ui::BrowserStorage*>(engine->Storage());
}

// Something other than the blank page's white in the picture's upper half, where the text goes.
bool HasInk(const QImage& image) {
  for (int y = 0; y < image.height() / 2; y += 4) {
    for (int x = 0; x < image.width(); x += 4) {
      if (image.pixel(x, y) != qRgb(255, 255, 255)) return true;
    }
  }
  return false;
}

class WebEngineTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    saved_ = new HttpSettings(http_settings());
    sim_ = new test::SimProcess;
  }
  static void TearDownTestSuite() {
    delete sim_;
    set_http_settings(*saved_);
    delete saved_;
  }
  void SetUp() override {
    ASSERT_TRUE(sim_->running()) << sim_->error();
    // As the endpoints file does for the program: the sim's certificate is the one to trust.
    set_tls_ca_file(sim_->ca_file());
    set_tls_verify(true);
  }

  static std::string MainPageUrl(const std::string& uid) {
    return sim_->https_url(
        "/forum/plugin.php?id=tarn_steam_openid:SoftLoginMainPage&auth=t0k&uid=" + uid);
  }
  QString ProgramDir() const { return QString::fromStdString(program_.path().string()); }
  QString CookieFile() const {
    return ProgramDir() + QStringLiteral("/qdata/miniblink/cookies.dat");
  }

  // Waits for the browser's current load and returns the page's text.
  static QString LoadedText(ui::EmbeddedBrowser* browser, QSignalSpy& loads) {
    if (!ProcessUntil([&] { return !loads.isEmpty(); }, kEngineLimitMs)) return "(no load)";
    auto text = std::make_shared<QString>();
    auto done = std::make_shared<bool>(false);
    ViewOf(browser)->page()->toPlainText([text, done](const QString& t) {
      *text = t;
      *done = true;
    });
    if (!ProcessUntil([&] { return *done; }, kEngineLimitMs)) return "(no text)";
    return *text;
  }

  // Opens the forum page as the program does: agent, then address, on the page being shown.
  static QString OpenForumPage(ForumWindow& w, const std::string& url) {
    w.window.SelectPage(names::kForumPage);
    w.Settle();
    w.ports.SetBrowserUserAgent(names::kForumBrowser, kForumAgent);
    w.ports.Navigate(names::kForumBrowser, url);
    ui::EmbeddedBrowser* forum = w.Forum();
    if (!forum->HasEngine()) return "(no engine)";
    QSignalSpy loads(ViewOf(forum), &QWebEngineView::loadFinished);
    return LoadedText(forum, loads);
  }

  static QString Reload(ui::EmbeddedBrowser* browser) {
    QSignalSpy loads(ViewOf(browser), &QWebEngineView::loadFinished);
    ViewOf(browser)->reload();
    return LoadedText(browser, loads);
  }

  static test::SimProcess* sim_;
  static HttpSettings* saved_;
  test::TempDir program_;
};

test::SimProcess* WebEngineTest::sim_ = nullptr;
HttpSettings* WebEngineTest::saved_ = nullptr;

TEST_F(WebEngineTest, EngineStartsOnlyWhenTheBrowserIsSeenWithAPage) {
  ForumWindow w(ProgramDir());
  w.ports.Navigate(names::kForumBrowser, MainPageUrl("3"));
  // The download page is in front: nothing starts.
  EXPECT_FALSE(w.Forum()->HasEngine());
  EXPECT_EQ(w.main.Browsers()->Loaded(), nullptr);  // not even the module
  w.window.SelectPage(names::kForumPage);
  w.Settle();
  ASSERT_TRUE(w.Forum()->HasEngine());
  // The second browser has no page: it stays without an engine although it is on screen too.
  EXPECT_FALSE(w.Second()->HasEngine());
  QSignalSpy loads(ViewOf(w.Forum()), &QWebEngineView::loadFinished);
  EXPECT_TRUE(LoadedText(w.Forum(), loads).contains(QStringLiteral("uid: 3")));
  // The profile keeps its storage in the program folder.
  ASSERT_NE(StorageOf(w), nullptr);
  QWebEngineProfile* profile = StorageOf(w)->Profile();
  EXPECT_FALSE(profile->isOffTheRecord());
  EXPECT_EQ(QDir(profile->persistentStoragePath()).canonicalPath(),
            QDir(ProgramDir() + QStringLiteral("/qdata/miniblink")).canonicalPath());
  EXPECT_EQ(profile->persistentCookiesPolicy(), QWebEngineProfile::NoPersistentCookies);
}

TEST_F(WebEngineTest, ForumCookieOutlivesARestartAndGoesWithTheCookieFile) {
  QString first_cookie;
  {
    ForumWindow w(ProgramDir());
    const QString text = OpenForumPage(w, MainPageUrl("7"));
    ASSERT_TRUE(text.contains(QStringLiteral("no cookie"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("uid: 7")));
    EXPECT_TRUE(text.contains(QStringLiteral("auth: given")));
    EXPECT_TRUE(text.contains(QStringLiteral("agent: ") + QString::fromUtf8(kForumAgent)))
        << text.toStdString();
    const qsizetype at = text.indexOf(QStringLiteral("new cookie: "));
    ASSERT_GE(at, 0);
    first_cookie = text.mid(at + 12).section(QLatin1Char('\n'), 0, 0).trimmed();
    ASSERT_FALSE(first_cookie.isEmpty());
    // Written as soon as the engine reports it, readable by the owner only.
    ASSERT_TRUE(ProcessUntil(
        [&] {
          QFile f(CookieFile());
          return f.open(QIODevice::ReadOnly) &&
                 f.readAll().contains("brindle_forum_sid=" + first_cookie.toUtf8());
        },
        kEngineLimitMs));
    EXPECT_EQ(QFile::permissions(CookieFile()) & 0x0077, QFileDevice::Permissions());
    // Sent back within the run.
    EXPECT_TRUE(Reload(w.Forum()).contains(QStringLiteral("cookie: ") + first_cookie));
  }

  // A restart: a new window (and engine profile) on the same program folder.
  {
    ForumWindow w(ProgramDir());
    const QString text = OpenForumPage(w, MainPageUrl("7"));
    EXPECT_TRUE(text.contains(QStringLiteral("cookie: ") + first_cookie)) << text.toStdString();

    // The account's logout deletes the file while the window runs: the page is logged out.
    ASSERT_NE(StorageOf(w), nullptr);
    QSignalSpy cleared(StorageOf(w), &ui::BrowserStorage::CookiesCleared);
    ASSERT_TRUE(QFile::remove(CookieFile()));
    ASSERT_TRUE(ProcessUntil([&] { return !cleared.isEmpty(); }, kEngineLimitMs));
    const QString after = Reload(w.Forum());
    EXPECT_TRUE(after.contains(QStringLiteral("no cookie"))) << after.toStdString();
    // The forum's new cookie is kept as usual.
    ASSERT_TRUE(ProcessUntil([&] { return QFile::exists(CookieFile()); }, kEngineLimitMs));
  }

  // Deleted while the program is not running: the next start is logged out.
  ASSERT_TRUE(QFile::remove(CookieFile()));
  {
    ForumWindow w(ProgramDir());
    const QString text = OpenForumPage(w, MainPageUrl("7"));
    EXPECT_TRUE(text.contains(QStringLiteral("no cookie"))) << text.toStdString();
  }
}

TEST_F(WebEngineTest, EachBrowserSendsItsOwnAgent) {
  ForumWindow w(ProgramDir());
  OpenForumPage(w, MainPageUrl("1"));
  // The second browser on the same page, with the agent the design gives it.
  w.ports.SetBrowserUserAgent(names::kSecondBrowser, ui::kSecondBrowserAgent);
  w.window.controls().SetVisible(names::kForumBrowser, false);
  w.window.controls().SetVisible(names::kSecondBrowser, true);
  w.Settle();
  w.ports.Navigate(names::kSecondBrowser, MainPageUrl("1"));
  ASSERT_TRUE(w.Second()->HasEngine());
  QSignalSpy loads(ViewOf(w.Second()), &QWebEngineView::loadFinished);
  const QString text = LoadedText(w.Second(), loads);
  EXPECT_TRUE(text.contains(QStringLiteral("agent: ") + QString::fromUtf8(ui::kSecondBrowserAgent)))
      << text.toStdString();
  // Both share one profile: the forum's cookie came along.
  EXPECT_TRUE(text.contains(QStringLiteral("cookie: "))) << text.toStdString();
  EXPECT_EQ(ViewOf(w.Second())->page()->profile(), ViewOf(w.Forum())->page()->profile());
}

TEST_F(WebEngineTest, AServerOutsideTheTrustedFileIsRefused) {
  set_tls_ca_file("");
  ForumWindow w(ProgramDir());
  const QString text = OpenForumPage(w, MainPageUrl("5"));
  EXPECT_FALSE(text.contains(QStringLiteral("uid: 5"))) << text.toStdString();
  EXPECT_FALSE(QFile::exists(CookieFile()));
}

TEST_F(WebEngineTest, WithoutTheModuleTheBrowserOffersThePageElsewhere) {
  ForumWindow w(ProgramDir());
  w.main.Browsers()->SetModulePlaces({ProgramDir() + QStringLiteral("/no_such_module")});
  w.window.SelectPage(names::kForumPage);
  w.Settle();
  w.ports.Navigate(names::kForumBrowser, MainPageUrl("9"));
  EXPECT_FALSE(w.Forum()->HasEngine());
  EXPECT_FALSE(w.main.Browsers()->Error().isEmpty());
  ui::BrowserPlaceholder* stand_in = w.Forum()->Placeholder();
  ASSERT_NE(stand_in, nullptr);
  EXPECT_TRUE(stand_in->isVisible());
  EXPECT_EQ(stand_in->CurrentUrl().toString(), QString::fromStdString(MainPageUrl("9")));
}

TEST_F(WebEngineTest, WritesAPictureOfTheForumPage) {
  ForumWindow w(ProgramDir());
  ASSERT_TRUE(OpenForumPage(w, MainPageUrl("42")).contains(QStringLiteral("uid: 42")));
  // The engine paints on its own schedule after the load: wait for the page's ink.
  ASSERT_TRUE(ProcessUntil([&] { return HasInk(w.Forum()->grab().toImage()); }, kEngineLimitMs));
  const QString dir = QStringLiteral(BRINDLE_ARTIFACT_DIR);
  ASSERT_TRUE(QDir().mkpath(dir));
  EXPECT_TRUE(w.main.grab().save(dir + QStringLiteral("/forum_page_sim.png")));
}

#endif  // BRINDLE_WEB_ENGINE

}  // namespace
}  // namespace brindle
