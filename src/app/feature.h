// A feature of the program (the server browser, favourites, map downloads, the account …): one
// object that binds its controls and clocks and takes part in start-up through these calls. The
// core calls every registered feature in registration order, so the order in which
// `BindFeatures` registers them is the order they run in.
#pragma once

namespace brindle {

class Core;

class Feature {
 public:
  virtual ~Feature() = default;

  // A short name for logs and tests ("map-dictionary").
  virtual const char* name() const = 0;

  // Once, when registered: bind the feature's buttons, menus and clocks to the window.
  virtual void Bind(Core& core) = 0;

  // Main-window creation, after the folders are known and the components were found, before the
  // download cache is emptied and the settings file is read.
  virtual void OnWindowCreated(Core& /*core*/) {}

  // The one-shot start-up clock, on the UI thread: start the feature's background services.
  virtual void OnStartup(Core& /*core*/) {}

  // On the initialisation thread after the start-up clock, one feature after the other. Long work
  // polls core.workers().Stopping().
  virtual void OnInitThread(Core& /*core*/) {}

  // A navigation button switched the window to `page` (names::kDownloadPage …), on the UI thread.
  virtual void OnPageShown(Core& /*core*/, int /*page*/) {}
};

}  // namespace brindle
