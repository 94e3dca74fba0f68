// One core on test ports over a fresh program folder: what every feature test starts from. The
// fixture owns all of its state, so nothing of one test reaches another.
#pragma once

#include <string>

#include "app/app_state.h"
#include "app/core.h"
#include "support/poll.h"
#include "support/temp_dir.h"
#include "view/test_ports.h"

namespace brindle::test {

class CoreFixture {
 public:
  // program_dir is the temp folder; data_dir (qdata) and the download cache are made and set.
  CoreFixture();
  ~CoreFixture();  // stops the core's workers (moving the virtual clock for those waiting on it)
  CoreFixture(const CoreFixture&) = delete;
  CoreFixture& operator=(const CoreFixture&) = delete;

  TempDir& dir() { return dir_; }
  AppState& state() { return state_; }
  Core& core() { return core_; }
  TestWindow& test_window() { return tw_; }
  Window& window() { return tw_.window(); }
  TestPorts& ports() { return tw_.ports(); }
  Controls& controls() { return tw_.window().controls(); }

  // The settings file of the program folder.
  std::string SettingsPath() const { return SettingsFilePath(state_); }
  // Puts an extractor stand-in (a shell script: POSIX tests) where start-up looks for it.
  void InstallExtractor(const std::string& script = "#!/bin/sh\n");

  // Waits until no job of the core runs; false after the poll limit.
  [[nodiscard]] bool WaitForWorkers();
  // Moves the virtual clock in small steps while a worker waits on it, until `done` holds.
  template <typename Pred>
  [[nodiscard]] bool AdvanceUntil(Pred done, std::int64_t step_ms = 200) {
    return Eventually([&] {
      if (done()) return true;
      if (ports().DelayedWorkers() > 0) ports().Advance(step_ms);
      return false;
    });
  }
  // Asks the jobs to stop and joins them, moving the virtual clock for those waiting on it.
  void StopWorkers();

 private:
  TempDir dir_;
  TestWindow tw_;
  AppState state_;
  Core core_{state_, tw_.window()};
};

}  // namespace brindle::test
