// A core with the map downloads feature against brindle-sim: the sim's endpoints, the real 7zz
// as the program folder's extractor, and a CS:GO and a CS2 installation in the temp folder. The
// suites of the map check, the download queue, the installation and the CLI start from here.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "maps/map_downloads.h"
#include "support/core_fixture.h"
#include "support/sim_process.h"

namespace brindle::test {

class MapsFixture : public SharedSimSuite {
 protected:
  void SetUp() override;
  void TearDown() override;

  CoreFixture& fx() { return *fx_; }
  Core& core() { return fx_->core(); }
  Window& window() { return fx_->window(); }
  TestPorts& ports() { return fx_->ports(); }
  MapDownloadsFeature& downloads() { return *downloads_; }

  // URLs on the mirror under its two host names ("/maps/x.bsp.bz2").
  std::string Primary(const std::string& path) const;
  std::string Secondary(const std::string& path) const;

  // Turns the extract-into-game option on or off.
  void IntoGame(bool on);
  // Queues a URL as the resource list would, named after its file.
  std::uint64_t Queue(const std::string& url);
  // Moves the virtual clock in small steps (running clocks and posted work) until `done` holds;
  // false after the poll limit.
  template <typename Pred>
  [[nodiscard]] bool Drive(Pred done);
  // Drives until the task is no longer pending and returns its outcome.
  TaskOutcome Final(std::uint64_t task);
  // Drives until nothing is queued, running or waiting for extraction.
  [[nodiscard]] bool DriveUntilIdle();

  // The sim serves `body` as `group`'s map list (status `status`) until the suite ends.
  void ScriptList(const std::string& group, const std::string& body, int status = 200);

  std::string CacheFile(const std::string& name) const;
  std::string MapFile(const std::string& name) const;  // in the CS:GO maps folder
  DownloadCounters Counters() { return downloads_->stats().Snapshot(); }

  std::string csgo_dir_;      // with its trailing separator
  std::string maps_dir_;      // csgo_dir_ + "csgo/maps/", in the system's separators
  std::string cs2_maps_dir_;  // the CS2 maps folder

 private:
  bool StepClock();
  std::unique_ptr<CoreFixture> fx_;
  MapDownloadsFeature* downloads_ = nullptr;
};

template <typename Pred>
bool MapsFixture::Drive(Pred done) {
  return Eventually([&] {
    if (done()) return true;
    return StepClock() && done();
  });
}

}  // namespace brindle::test
