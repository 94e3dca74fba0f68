// Changing what brindle-sim serves while a test runs (its /test/ routes), asked over plain libcurl
// on the sim's HTTP port, so the answer does not depend on the client under test.
#pragma once

#include <string>

#include "support/sim_process.h"

namespace brindle::test {

// Sends `method` ("GET", "POST", "DELETE") to the sim's `path` with `body`. The answer body, or
// "" when the sim could not be asked; `status` receives the status code (0 then).
std::string SimRequest(const SimProcess& sim, const std::string& method, const std::string& path,
                       const std::string& body = {}, long* status = nullptr);

// POST that must be answered 200 (a broken test otherwise).
bool SimSet(const SimProcess& sim, const std::string& path, const std::string& body = {});
bool SimReset(const SimProcess& sim, const std::string& path);  // DELETE, answered 200

}  // namespace brindle::test
