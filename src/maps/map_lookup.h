// Finding one map by name in the community's map lists, for features that know a map but not
// its group (a server's current map before a join), and the player's words for a failed fetch
// of one of the community's services.
#pragma once

#include <optional>
#include <string>

#include "maps/map_check.h"

namespace brindle {

class Core;
struct AppState;
struct HttpTransferInfo;

// Why a fetch brought nothing usable, in the player's words (GBK): the connection failed, timed
// out or broke off, the service answered with an error status, or its answer could not be read.
std::string ServiceFailureText(int status, const HttpTransferInfo& transfer);

// Whether `map` is in the CS:GO maps folder as a .bsp; false when that folder is not known.
bool MapInstalled(AppState& state, const std::string& map);

// The first record named `map` (letter case ignored) in the lists of the fifteen groups, asked in
// button order; nullopt when no list has it or none could be read (`reason` then says why the
// last list failed, or that the map is in none; GBK). Runs on a worker: one request per group
// until found, each with the map check's bounds; the program's exit ends it.
std::optional<MapRecord> FindMapInGroups(Core& core, const std::string& map, std::string* reason);

}  // namespace brindle
