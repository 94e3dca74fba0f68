#include "support/core_fixture.h"

#include <atomic>
#include <filesystem>
#include <thread>

#include "support/extractor_files.h"

namespace brindle::test {

namespace fs = std::filesystem;

CoreFixture::CoreFixture() {
  state_.program_dir = dir_.path().string();
  state_.data_dir = dir_.file("qdata");
  state_.download_cache_dir = TempDir::DirText(dir_.path() / "download" / "data");
  fs::create_directories(dir_.path() / "qdata");
  fs::create_directories(dir_.path() / "download" / "data");
}

CoreFixture::~CoreFixture() { StopWorkers(); }

void CoreFixture::InstallExtractor(const std::string& script) {
  fs::create_directories(dir_.path() / "qdata" / "7zip");
  const fs::path extractor = ExtractorFile(dir_.path() / "qdata" / "7zip");
  spit(extractor, script);
  fs::permissions(extractor, fs::perms::owner_all, fs::perm_options::add);
#ifdef _WIN32
  spit(dir_.path() / "qdata" / "7zip" / "7z.dll", "");  // start-up looks for it too
#endif
}

bool CoreFixture::WaitForWorkers() {
  return Eventually([&] { return core_.workers().Running() == 0; });
}

void CoreFixture::StopWorkers() {
  std::atomic<bool> joined{false};
  std::thread stopper([&] {
    core_.workers().StopAndJoin();
    joined = true;
  });
  // The clock moves only once the stop is asked, so no worker sees a step that came before it.
  (void)Eventually([&] {
    if (joined.load()) return true;
    if (core_.workers().Stopping() && ports().DelayedWorkers() > 0) ports().Advance(200);
    return false;
  });
  stopper.join();
}

}  // namespace brindle::test
