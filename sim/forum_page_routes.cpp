// The forum's main page: the page the program's embedded browser opens with the user's auth token
// and uid. Its session cookie makes it possible to see whether the browser keeps cookies across a
// restart of the program and loses them at logout.
#include "forum_page_routes.h"

#include <atomic>
#include <memory>
#include <string>
#include <string_view>

namespace brindle::sim {
namespace {

std::string escape_html(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
        break;
    }
  }
  return out;
}

// The value of cookie `name` in a Cookie header, or empty.
std::string cookie_value(const std::string& header, std::string_view name) {
  std::size_t at = 0;
  while (at < header.size()) {
    std::size_t end = header.find(';', at);
    if (end == std::string::npos) end = header.size();
    std::string_view pair(header.data() + at, end - at);
    while (!pair.empty() && pair.front() == ' ') pair.remove_prefix(1);
    const std::size_t eq = pair.find('=');
    if (eq != std::string_view::npos && pair.substr(0, eq) == name) {
      return std::string(pair.substr(eq + 1));
    }
    at = end + 1;
  }
  return {};
}

// Only digits and letters: anything else in a uid is shown as "?".
std::string cookie_safe(std::string_view text) {
  std::string out;
  for (char c : text.substr(0, 32)) {
    const bool plain = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    out += plain ? c : '?';
  }
  return out.empty() ? "0" : out;
}

void main_page(const httplib::Request& request, httplib::Response& response,
               std::atomic<int>& visits) {
  const std::string uid = request.get_param_value("uid");
  const bool auth = !request.get_param_value("auth").empty();
  const std::string sent = cookie_value(request.get_header_value("Cookie"), kForumSessionCookie);
  std::string cookie_line;
  if (sent.empty()) {
    // A session cookie, as the forum sets at login: only a browser that keeps session cookies
    // brings it back after a restart.
    const std::string value = "s" + cookie_safe(uid) + "v" + std::to_string(++visits);
    response.set_header("Set-Cookie", std::string(kForumSessionCookie) + "=" + value +
                                          "; Path=/; HttpOnly; SameSite=Lax");
    cookie_line = "<p id=\"cookie\">no cookie</p><p id=\"set\">new cookie: " + value + "</p>";
  } else {
    cookie_line = "<p id=\"cookie\">cookie: " + escape_html(sent) + "</p>";
  }
  std::string body =
      "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Brindle 论坛</title><style>"
      "body{font-family:sans-serif;margin:32px;color:#1f2937}"
      "h1{font-size:24px;margin:0 0 16px}p{font-size:16px;margin:8px 0}"
      "#cookie{font-weight:bold;color:#2563eb}</style></head><body>"
      "<h1>Brindle 论坛</h1>" +
      cookie_line + "<p id=\"uid\">uid: " + escape_html(uid.empty() ? "(none)" : uid) + "</p>" +
      "<p id=\"auth\">auth: " + (auth ? "given" : "none") + "</p>" +
      "<p id=\"agent\">agent: " + escape_html(request.get_header_value("User-Agent")) + "</p>" +
      "</body></html>";
  response.set_content(body, "text/html; charset=utf-8");
}

}  // namespace

void install_forum_page_routes(httplib::Server&, SimState& state) {
  // The plug-ins are shared by both listeners, so one count serves both.
  auto visits = std::make_shared<std::atomic<int>>(0);
  state.forum_plugins["tarn_steam_openid:SoftLoginMainPage"] =
      [visits](const httplib::Request& request, httplib::Response& response) {
        main_page(request, response, *visits);
      };
}

}  // namespace brindle::sim
