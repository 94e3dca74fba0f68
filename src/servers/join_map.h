// A join never lands on a server without its map: when the server's current map is not in the
// game's maps folder, the player is offered to fetch it first (found through the community's
// map lists), follows the download in the status line, and joins once it is installed.
#pragma once

#include <functional>
#include <string>

namespace brindle {

class Core;

// The map a server list row names: the live answer's when there is one, else the list's map
// cell without its "(...)" translation.
std::string ServerRowMap(const std::string& live_map, const std::string& list_map);

// Joins through `join` (run on the UI thread), first fetching `map` when it is a CS:GO map the
// game lacks. Asks "下载并加入" / "直接加入" / "取消"; a fetch runs on a worker, shows its
// progress in the status line and joins when the map is installed; a map that cannot be found
// or fetched asks whether to join anyway. An empty map, a CS2 server (`cs2`) or an unknown game
// folder joins at once. From the UI thread.
void JoinWithMap(Core& core, const std::string& map, bool cs2, std::function<void()> join);

// Texts of the fetch (GBK), for the tests.
std::string MissingMapQuestion(const std::string& map);
std::string MapFetchProgressText(const std::string& map, int percent);  // percent < 0: queued

}  // namespace brindle
