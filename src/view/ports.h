// The two doors between the features and the outside of the program: the person in front of the
// window, and the clock that drives the UI thread. Three implementations: the Qt window (ui/),
// a headless loop for the CLI (headless_ports.h) and a scripted one for tests (test_ports.h).
// Texts are GBK; control, dialog, browser and clock names are UTF-8 design names.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

struct FileDialogRequest {
  std::string dialog;   // design name, e.g. names::kCsgoFileDialog
  std::string title;    // GBK, may be empty
  std::string filter;   // GBK, as the toolkit writes it: "应用程序(*.exe)"
  std::string initial;  // GBK file name the dialog is pre-set with, may be empty
};

class PersonPort {
 public:
  virtual ~PersonPort() = default;

  // The transient notice window: shows `text` briefly over the top of the main window.
  virtual void Notice(const std::string& text) = 0;

  // A modal message box. `buttons` is the button texts joined by "&&" ("继续&&取消"); an empty
  // list means one "确定" button. Returns the index of the pressed button (0 = first), or -1 when
  // the box was closed without pressing one. Callable from any thread: asked from a worker, it
  // blocks that worker until the person answers.
  virtual int MessageBox(const std::string& title, const std::string& text,
                         const std::string& buttons) = 0;

  // An open-file dialog; the chosen path (GBK), or nullopt when cancelled. Blocks like a box.
  virtual std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) = 0;

  // Puts plain text on the clipboard.
  virtual void SetClipboardText(const std::string& text) = 0;

  // The embedded browsers (names::kForumBrowser, names::kSecondBrowser).
  virtual void Navigate(const std::string& browser, const std::string& url) = 0;
  virtual void SetBrowserUserAgent(const std::string& browser, const std::string& user_agent) = 0;
  // Forgets every cookie the embedded browsers hold (a logout), so the forum page is logged out
  // at once and not only after the next start. Callable from any thread (a failed automatic
  // login logs out on the initialisation thread). A port without a browser has none to forget.
  virtual void ClearBrowserCookies() {}
};

// Splits a "a&&b&&c" button list into its texts; an empty list gives the single OK button "确定"
// (GBK). An empty piece between separators stays an (empty) button so indices match the list.
std::vector<std::string> split_buttons(std::string_view buttons);

class ClockPort {
 public:
  using Handler = std::function<void()>;
  virtual ~ClockPort() = default;

  // Named clocks. A clock fires its bound handler on the UI thread every period while running.
  // Binding replaces an earlier handler, an empty handler unbinds; a running clock with no
  // handler ticks and does nothing.
  // Starting a running clock restarts its period from now (as setting a toolkit timer's interval
  // does); a period <= 0 stops it. A clock does not fire again while its own handler runs.
  // Start/Stop/Running may be called from any thread.
  virtual void BindClock(const std::string& name, Handler handler) = 0;
  virtual void StartClock(const std::string& name, std::int64_t period_ms) = 0;
  virtual void StopClock(const std::string& name) = 0;
  virtual bool ClockRunning(const std::string& name) const = 0;

  // Runs `work` on the UI thread, after work posted earlier. From any thread.
  virtual void Post(std::function<void()> work) = 0;
  virtual bool OnUiThread() const = 0;

  // Milliseconds of a steady clock with an arbitrary origin.
  virtual std::int64_t NowMs() const = 0;
  // Wall clock: whole seconds since 1970.
  virtual std::int64_t UnixSeconds() const = 0;

  // Waits `ms` milliseconds. On the UI thread, posted work and clocks keep running meanwhile
  // (the window stays responsive); on another thread it simply waits.
  virtual void Delay(std::int64_t ms) = 0;
};

}  // namespace brindle
