// What may reach the game from a mirror: the archive allow-list, usable map names, the bounds of
// one task and the headers a download is judged by.
#include "maps/install_rules.h"

#include <gtest/gtest.h>

#include "maps/download_task.h"

namespace brindle {
namespace {

TEST(InstallRules, ArchivesMayBringOnlyGameContent) {
  for (const char* path :
       {"csgo/maps/de_x.bsp", "csgo/maps/de_x.nav", "CSGO/Maps/DE_X.BSP",
        "csgo/materials/maps/de_x/wall.vmt", "csgo/models/player/custom_player/2019x/a.dx90.vtx",
        "csgo/models/player/custom_player/2019x/model_version.ini", "csgo/sound/x/a.wav",
        "csgo/particles/fire.pcf", "csgo/resource/overviews/de_x_radar.dds"}) {
    std::string reason;
    EXPECT_TRUE(ArchiveFileAllowed(path, &reason)) << path << ": " << reason;
  }
  for (const char* path : {"csgo_linux64",
                           "csgo.exe",
                           "bin/linux64/engine_client.so",
                           "csgo/bin/client.dll",
                           "csgo/cfg/autoexec.cfg",
                           "csgo/maps/de_x.cfg",
                           "csgo/maps/run.exe",
                           "csgo/maps/x.sh",
                           "csgo/maps/noext",
                           "csgo/scripts/x.txt",
                           "csgo/resource/ui.res",
                           "evil.bsp",
                           "maps/x.bsp",
                           "csgo/maps/../../csgo_linux64",
                           "csgo//maps/x.bsp",
                           "csgo/./maps/x.bsp",
                           "csgo/maps/x.bsp:evil.exe",
                           "csgo\\maps\\x.bsp",
                           "csgo/maps/a\nb.bsp",
                           "",
                           "csgo/materials/x.ini",
                           "csgo/maps/"}) {
    std::string reason;
    EXPECT_FALSE(ArchiveFileAllowed(path, &reason)) << path;
    EXPECT_EQ(reason.rfind("the archive holds a", 0), 0u) << reason;
  }
  for (const char* folder : {"csgo", "csgo/resource", "csgo/maps", "csgo/materials/maps/x"}) {
    EXPECT_TRUE(ArchiveFolderAllowed(folder)) << folder;
  }
  for (const char* folder : {"bin", "csgo/cfg", "csgo/resource/ui", "tmp", "csgo/..", "."}) {
    EXPECT_FALSE(ArchiveFolderAllowed(folder)) << folder;
  }
}

TEST(InstallRules, MapNamesAndBounds) {
  for (const char* name : {"de_dust2", "ze_\xC0\xEE.v2", "a b"}) EXPECT_TRUE(UsableMapName(name));
  for (const char* name : {"", ".", "..", "../x", "a/b", "a\\b", "c:x", "a\x01"}) {
    EXPECT_FALSE(UsableMapName(name)) << name;
  }
  EXPECT_FALSE(UsableMapName(std::string(129, 'a')));

  EXPECT_EQ(DownloadByteCap("de_x.bsp", 5000), 5000);
  EXPECT_EQ(DownloadByteCap("de_x.bsp.bz2", 16000), 16000 + 1000 + (1 << 20));
  EXPECT_EQ(DownloadByteCap("de_x.zip", 5000), kDownloadCapDefault);  // the list's is the map's
  EXPECT_EQ(DownloadByteCap("de_x.bsp", 100), kDownloadCapDefault);   // a placeholder
  EXPECT_EQ(DownloadByteCap("de_x.bsp.bz2", INT64_MAX), kDownloadCapDefault);
  EXPECT_EQ(ExtractionByteCap("de_x.bsp.bz2", 5000, 700), 5000);
  EXPECT_EQ(ExtractionByteCap("de_x.bsp.bz2", 0, 700), std::int64_t{256} << 20);
  EXPECT_EQ(ExtractionByteCap("p.7z", 0, std::int64_t{100} << 20), std::int64_t{6400} << 20);
  EXPECT_EQ(ExtractionByteCap("p.7z", 0, INT64_MAX), std::int64_t{16} << 30);

  EXPECT_TRUE(LooksLikeBzip2("BZh91AY&SY"));
  EXPECT_FALSE(LooksLikeBzip2("PK\x03\x04"));
  EXPECT_FALSE(LooksLikeBzip2("BZh0"));
  EXPECT_FALSE(LooksLikeBzip2("BZh"));
}

TEST(InstallRules, HeaderOfTheLastResponse) {
  const std::string headers =
      "HTTP/1.1 302 Found\r\nContent-Encoding: gzip\r\nLocation: /x\r\n\r\n"
      "HTTP/1.1 200 OK\r\ncontent-encoding:  br \r\nContent-Length: 5\r\n\r\n";
  EXPECT_EQ(LastHeaderValue(headers, "Content-Encoding"), "br");
  EXPECT_EQ(LastHeaderValue(headers, "content-length"), "5");
  EXPECT_EQ(LastHeaderValue(headers, "location"), "");  // only the redirect had one
}

}  // namespace
}  // namespace brindle
