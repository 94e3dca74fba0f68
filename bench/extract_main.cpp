// Extracts one archive of a program folder's download cache through the map downloads'
// StartExtractor (the program folder's qdata/7zip/q_unbz2 as a child process, the exact command
// line) and waits for it, for the extraction benchmark.
//   extract_main PROGRAM_DIR ARCHIVE_NAME TARGET_DIR
// Exit status: the extractor's, or 2 when it cannot be started.
#include <cstdio>
#include <memory>
#include <string>

#include "app/app_state.h"
#include "app/core.h"
#include "maps/map_downloads.h"
#include "platform/platform.h"
#include "view/headless_ports.h"
#include "view/window.h"

int main(int argc, char** argv) {
  using namespace brindle;
  if (argc != 4) {
    std::fputs("usage: extract_main PROGRAM_DIR ARCHIVE_NAME TARGET_DIR\n", stderr);
    return 2;
  }
  HeadlessPorts ports;
  Window window(ports, ports);
  AppState state;
  state.program_dir = argv[1];
  state.data_dir = state.program_dir + "/qdata";
  state.download_cache_dir = state.program_dir + "/download/data/";
  int code = 2;
  {
    Core core(state, window);
    auto feature = std::make_unique<MapDownloadsFeature>();
    MapDownloadsFeature* downloads = feature.get();
    core.AddFeature(std::move(feature));
    const platform::ProcessHandle child = downloads->StartExtractor(argv[2], argv[3], true);
    if (child != platform::kInvalidProcess &&
        platform::wait_process(child, -1, code) != platform::WaitOutcome::kExited) {
      code = 2;
    }
  }
  ports.Stop();
  return code;
}
