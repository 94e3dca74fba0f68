// The engine module: QWebEngineView pages on the shared profile, each with its own user agent,
// certificate errors decided by the window's trust settings.
#include <QWebEngineCertificateError>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

#include "ui/web/browser_engine.h"
#include "ui/web/browser_storage.h"
#include "ui/web/browser_trust.h"

namespace brindle::ui {
namespace {

// Sets the browser's own user agent on each of its page's requests; the profile's is shared by
// both browsers.
class AgentInterceptor : public QWebEngineUrlRequestInterceptor {
 public:
  using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
  void SetAgent(const QByteArray& agent) { agent_ = agent; }
  void interceptRequest(QWebEngineUrlRequestInfo& info) override {
    if (!agent_.isEmpty()) info.setHttpHeader("User-Agent", agent_);
  }

 private:
  QByteArray agent_;
};

class BrowserPage : public QWebEnginePage {
 public:
  BrowserPage(QWebEngineProfile* profile, const std::function<BrowserTrust()>& trust,
              QObject* parent)
      : QWebEnginePage(profile, parent), interceptor_(new AgentInterceptor(this)) {
    setUrlRequestInterceptor(interceptor_);
    connect(
        this, &QWebEnginePage::certificateError, this,
        [trust](const QWebEngineCertificateError& error) {
          const BrowserTrust settings = trust ? trust() : BrowserTrust{};
          CertificateProblem problem;
          problem.overridable = error.isOverridable();
          problem.unknown_authority =
              error.type() == QWebEngineCertificateError::CertificateAuthorityInvalid;
          problem.chain = error.certificateChain();
          QWebEngineCertificateError answer = error;
          if (AcceptCertificate(problem, CertificatesOf(settings.ca_file), settings.tls_verify)) {
            answer.acceptCertificate();
          } else {
            answer.rejectCertificate();
          }
        });
  }
  void SetAgent(const QString& agent) { interceptor_->SetAgent(agent.toUtf8()); }

 private:
  AgentInterceptor* interceptor_;
};

class WebEngine final : public BrowserEngine {
 public:
  void SetFolder(const QString& folder) override { storage_.SetFolder(folder); }
  void SetProfileAgent(const QString& agent) override { storage_.SetUserAgent(agent); }
  void SetTrust(std::function<BrowserTrust()> trust) override { trust_ = std::move(trust); }
  QObject* Storage() override { return storage_.ProfileMade() ? &storage_ : nullptr; }

  QWidget* CreateView(QWidget* parent, const QString& agent) override {
    auto* view = new QWebEngineView(parent);
    auto* page = new BrowserPage(storage_.Profile(), trust_, view);
    page->SetAgent(agent);
    view->setPage(page);
    return view;
  }
  void Load(QWidget* view, const QUrl& url) override {
    if (auto* v = qobject_cast<QWebEngineView*>(view)) v->load(url);
  }
  void SetAgent(QWidget* view, const QString& agent) override {
    if (auto* v = qobject_cast<QWebEngineView*>(view)) {
      static_cast<BrowserPage*>(v->page())->SetAgent(agent);
    }
  }

 private:
  BrowserStorage storage_;
  std::function<BrowserTrust()> trust_;
};

}  // namespace
}  // namespace brindle::ui

extern "C" brindle::ui::BrowserEngine* brindle_create_browser_engine() {
  return new brindle::ui::WebEngine;
}
