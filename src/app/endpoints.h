// Where the community lives: the built-in service addresses and mirror hosts, and the endpoints
// file (`--endpoints FILE`) that points the program at another community, such as brindle-sim
// on loopback.
#pragma once

#include <string>
#include <vector>

namespace brindle {

struct AppState;

struct CommandLine {
  std::string program_dir;        // --program-dir DIR; empty: the executable's folder
  std::string endpoints_file;     // --endpoints FILE; empty: built-in defaults
  std::vector<std::string> rest;  // everything else, in order
  std::string error;              // set when an option lacks its value
};

// Parses the options both programs share; unknown arguments are kept in `rest`.
CommandLine ParseCommandLine(int argc, char** argv);

// The folder of the running executable (no trailing separator), or empty.
std::string ExecutableDir();

// Sets the built-in service addresses, user agents and mirror lines.
void ApplyDefaultEndpoints(AppState& state);

// Reads section [endpoints] of `path` (keys software, server_list, favourites, forum, user_info,
// mirror_us1, mirror_us2, mirror_telecom, mirror_primary_host, mirror_secondary_host,
// operator_uid, ca_file, tls_verify). A missing key keeps the current value; unknown keys are
// ignored. Also applies ca_file and tls_verify to the HTTP client. False when the file cannot be
// read.
bool LoadEndpointsFile(const std::string& path, AppState& state);

}  // namespace brindle
