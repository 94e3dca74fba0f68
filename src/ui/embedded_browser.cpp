#include "ui/embedded_browser.h"

#include <QShowEvent>
#include <QVBoxLayout>

#include "ui/widgets.h"

#ifdef BRINDLE_WEB_ENGINE
#include <QWebEngineCertificateError>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

#include "ui/browser_storage.h"
#include "ui/browser_trust.h"
#endif

namespace brindle::ui {

#ifdef BRINDLE_WEB_ENGINE
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
  BrowserPage(QWebEngineProfile* profile, QObject* parent)
      : QWebEnginePage(profile, parent), interceptor_(new AgentInterceptor(this)) {
    setUrlRequestInterceptor(interceptor_);
    connect(this, &QWebEnginePage::certificateError, this,
            [](const QWebEngineCertificateError& error) {
              CertificateProblem problem;
              problem.overridable = error.isOverridable();
              problem.unknown_authority =
                  error.type() == QWebEngineCertificateError::CertificateAuthorityInvalid;
              problem.chain = error.certificateChain();
              QWebEngineCertificateError answer = error;
              if (AcceptCertificate(problem, ClientTrustedCertificates(), ClientVerifiesTls())) {
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

}  // namespace
#endif

EmbeddedBrowser::EmbeddedBrowser(const QString& heading, QWidget* parent) : QWidget(parent) {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
#ifndef BRINDLE_WEB_ENGINE
  placeholder_ = new BrowserPlaceholder(heading, this);
  column->addWidget(placeholder_);
#else
  (void)heading;
#endif
}

EmbeddedBrowser::~EmbeddedBrowser() { Stop(); }

void EmbeddedBrowser::Navigate(const QUrl& url) {
  requested_ = url;
  if (placeholder_ != nullptr) placeholder_->Navigate(url);
#ifdef BRINDLE_WEB_ENGINE
  if (view_ != nullptr) {
    view_->load(url);
  } else {
    StartIfWanted();
  }
#endif
}

void EmbeddedBrowser::SetUserAgent(const QString& agent) {
  agent_ = agent;
  if (placeholder_ != nullptr) placeholder_->SetUserAgent(agent);
#ifdef BRINDLE_WEB_ENGINE
  if (agent_is_profiles_ && storage_ != nullptr) storage_->SetUserAgent(agent);
  if (view_ != nullptr) static_cast<BrowserPage*>(view_->page())->SetAgent(agent);
#endif
}

void EmbeddedBrowser::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  StartIfWanted();
}

void EmbeddedBrowser::StartIfWanted() {
#ifdef BRINDLE_WEB_ENGINE
  // Not before it is seen and has something to show: the engine is a large start.
  if (view_ != nullptr || storage_ == nullptr || requested_.isEmpty() || !isVisible()) return;
  if (agent_is_profiles_ && !agent_.isEmpty()) storage_->SetUserAgent(agent_);
  view_ = new QWebEngineView(this);
  auto* page = new BrowserPage(storage_->Profile(), view_);
  page->SetAgent(agent_);
  view_->setPage(page);
  layout()->addWidget(view_);
  view_->load(requested_);
  emit EngineStarted();
#endif
}

void EmbeddedBrowser::Stop() {
#ifdef BRINDLE_WEB_ENGINE
  delete view_;  // its page with it
  view_ = nullptr;
#endif
}

}  // namespace brindle::ui
