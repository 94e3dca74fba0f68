// The forum's main page as the program's embedded browser opens it (forum_page_routes.cpp).
#pragma once

#include <httplib.h>

#include "sim_state.h"

namespace brindle::sim {

// Plug-in tarn_steam_openid:SoftLoginMainPage on /forum/plugin.php: an HTML page that tells
// whether the browser sent the forum's session cookie ("cookie: VALUE") or not ("no cookie"),
// and sets a new one on a visit without it; it also shows the uid, whether an auth token came,
// and the user agent.
void install_forum_page_routes(httplib::Server& server, SimState& state);

// The forum's session cookie.
inline constexpr const char* kForumSessionCookie = "brindle_forum_sid";

}  // namespace brindle::sim
