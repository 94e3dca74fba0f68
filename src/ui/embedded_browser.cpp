#include "ui/embedded_browser.h"

#include <QShowEvent>
#include <QVBoxLayout>

#include "ui/browser_host.h"
#include "ui/web_engine.h"
#include "ui/widgets.h"

namespace brindle::ui {

EmbeddedBrowser::EmbeddedBrowser(const QString& heading, QWidget* parent)
    : QWidget(parent), heading_(heading) {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  if (!WebEngineBuilt()) ShowStandIn();
}

EmbeddedBrowser::~EmbeddedBrowser() { Stop(); }

void EmbeddedBrowser::ShowStandIn() {
  if (placeholder_ != nullptr) return;
  placeholder_ = new BrowserPlaceholder(heading_, this);
  placeholder_->SetUserAgent(agent_);
  placeholder_->Navigate(requested_);
  layout()->addWidget(placeholder_);
  placeholder_->show();  // made after the page may already be on screen
}

void EmbeddedBrowser::Navigate(const QUrl& url) {
  requested_ = url;
  if (placeholder_ != nullptr) placeholder_->Navigate(url);
  if (view_ != nullptr) {
    host_->Loaded()->Load(view_, url);
  } else {
    StartIfWanted();
  }
}

void EmbeddedBrowser::SetUserAgent(const QString& agent) {
  agent_ = agent;
  if (placeholder_ != nullptr) placeholder_->SetUserAgent(agent);
  if (host_ == nullptr) return;
  if (agent_is_profiles_) host_->SetProfileAgent(agent);
  if (view_ != nullptr) host_->Loaded()->SetAgent(view_, agent);
}

void EmbeddedBrowser::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  StartIfWanted();
}

void EmbeddedBrowser::StartIfWanted() {
  // Not before it is seen and has something to show: the engine is a large start.
  if (view_ != nullptr || placeholder_ != nullptr || host_ == nullptr || requested_.isEmpty() ||
      !isVisible()) {
    return;
  }
  if (agent_is_profiles_ && !agent_.isEmpty()) host_->SetProfileAgent(agent_);
  BrowserEngine* engine = host_->Engine();
  if (engine == nullptr) {
    ShowStandIn();
    return;
  }
  view_ = engine->CreateView(this, agent_);
  layout()->addWidget(view_);
  view_->show();
  engine->Load(view_, requested_);
  emit EngineStarted();
}

void EmbeddedBrowser::Stop() {
  delete view_;  // its page with it
  view_ = nullptr;
}

}  // namespace brindle::ui
