#include "ui/browser_host.h"

#include <QCoreApplication>
#include <QLibrary>

#include "foundation/http_settings.h"
#include "ui/qt_text.h"

namespace brindle::ui {

BrowserHost::BrowserHost() {
#ifdef BRINDLE_WEB_MODULE
  const QString beside = QCoreApplication::applicationDirPath() + QLatin1Char('/');
  places_ = {beside + QStringLiteral("brindle_web"), beside + QStringLiteral(BRINDLE_WEB_INSTALLED),
             QStringLiteral(BRINDLE_WEB_MODULE)};
#endif
}
BrowserHost::~BrowserHost() = default;

void BrowserHost::SetFolder(const QString& folder) {
  folder_ = folder;
  if (engine_ != nullptr) engine_->SetFolder(folder);
}

void BrowserHost::SetProfileAgent(const QString& agent) {
  agent_ = agent;
  if (engine_ != nullptr) engine_->SetProfileAgent(agent);
}

BrowserEngine* BrowserHost::Engine() {
  if (engine_ != nullptr || tried_) return engine_.get();
  tried_ = true;
  if (places_.isEmpty()) {
    error_ = QStringLiteral("this build has no web engine");
    return nullptr;
  }
  using Create = BrowserEngine* (*)();
  Create create = nullptr;
  for (const QString& place : places_) {
    // Never unloaded: the engine's threads live until the process ends.
    QLibrary module(place);
    create = reinterpret_cast<Create>(module.resolve(kBrowserEngineEntry));
    if (create != nullptr) break;
    error_ = module.errorString();
  }
  if (create == nullptr) return nullptr;
  error_.clear();
  engine_.reset(create());
  engine_->SetFolder(folder_);
  if (!agent_.isEmpty()) engine_->SetProfileAgent(agent_);
  engine_->SetTrust([] {
    const HttpSettings settings = http_settings();
    return BrowserTrust{FromGbk(settings.ca_file), settings.tls_verify};
  });
  return engine_.get();
}

}  // namespace brindle::ui
