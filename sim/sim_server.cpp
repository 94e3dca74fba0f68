#include "sim_server.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tls_cert.h"

namespace brindle::sim {

// ---- SimState ------------------------------------------------------------------------------

void SimState::count(const std::string& path) {
  std::lock_guard lock(mutex_);
  ++counts_[path];
}

std::map<std::string, std::int64_t> SimState::counts() const {
  std::lock_guard lock(mutex_);
  return counts_;
}

std::int64_t SimState::count_of(const std::string& path) const {
  std::lock_guard lock(mutex_);
  auto it = counts_.find(path);
  return it == counts_.end() ? 0 : it->second;
}

void SimState::reset_counts() {
  std::lock_guard lock(mutex_);
  counts_.clear();
  last_headers_.clear();
}

void SimState::remember_headers(const httplib::Request& request) {
  std::string lines;
  for (const auto& [name, value] : request.headers) lines += name + ": " + value + "\n";
  std::lock_guard lock(mutex_);
  last_headers_[request.path] = std::move(lines);
}

std::string SimState::last_headers(const std::string& path) const {
  std::lock_guard lock(mutex_);
  auto it = last_headers_.find(path);
  return it == last_headers_.end() ? std::string() : it->second;
}

bool SimState::pause_ms(std::int64_t ms) const {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!stopping()) {
    auto now = std::chrono::steady_clock::now();
    if (now >= until) return true;
    auto step =
        std::min<std::chrono::steady_clock::duration>(until - now, std::chrono::milliseconds(20));
    std::this_thread::sleep_for(step);
  }
  return false;
}

std::string raw_query_value(const httplib::Request& request, const std::string& name) {
  const std::size_t question = request.target.find('?');
  if (question == std::string::npos) return {};
  const std::string query = request.target.substr(question + 1);
  std::size_t start = 0;
  while (start <= query.size()) {
    std::size_t end = query.find('&', start);
    if (end == std::string::npos) end = query.size();
    const std::string piece = query.substr(start, end - start);
    start = end + 1;
    if (piece.rfind(name + "=", 0) != 0) continue;
    auto hex = [](char c) {
      if (c >= '0' && c <= '9') return c - '0';
      if (c >= 'a' && c <= 'f') return c - 'a' + 10;
      if (c >= 'A' && c <= 'F') return c - 'A' + 10;
      return -1;
    };
    std::string value;
    for (std::size_t i = name.size() + 1; i < piece.size(); ++i) {
      const int high = i + 2 < piece.size() ? hex(piece[i + 1]) : -1;
      const int low = i + 2 < piece.size() ? hex(piece[i + 2]) : -1;
      if (piece[i] == '%' && high >= 0 && low >= 0) {
        value.push_back(static_cast<char>(high * 16 + low));
        i += 2;
      } else {
        value.push_back(piece[i] == '+' ? ' ' : piece[i]);
      }
    }
    return value;
  }
  return {};
}

std::int64_t param_int(const httplib::Request& request, const char* name, std::int64_t fallback,
                       std::int64_t low, std::int64_t high) {
  if (!request.has_param(name)) return fallback;
  std::string text = request.get_param_value(name);
  std::int64_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return fallback;
  return std::clamp(value, low, high);
}

// ---- SimServer -----------------------------------------------------------------------------

bool read_whole_file(const std::string& path, std::string& out) {
  out.clear();
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  out = text.str();
  return true;
}

bool write_file_atomically(const std::string& path, const std::string& text) {
  std::string temp = path + ".tmp" + std::to_string(::getpid());
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << text;
    out.flush();
    if (!out) {
      std::remove(temp.c_str());
      return false;
    }
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

SimServer::SimServer(SimOptions options) : options_(std::move(options)) {
  state_.data_dir = options_.data_dir;
}

SimServer::~SimServer() { stop(); }

void SimServer::add_routes(RouteInstaller installer) {
  installers_.push_back(std::move(installer));
}

void SimServer::configure(httplib::Server& server) {
  int threads = options_.threads;
  server.new_task_queue = [threads] {
    return new httplib::ThreadPool(static_cast<std::size_t>(threads));
  };
  server.set_keep_alive_max_count(1000);
  server.set_keep_alive_timeout(5);
  server.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response&) {
    state_.count(request.path);
    state_.remember_headers(request);
    return httplib::Server::HandlerResponse::Unhandled;
  });
  for (const RouteInstaller& install : installers_) install(server, state_);
}

bool SimServer::bind(httplib::Server& server, int port, int& bound, std::string& error) {
  if (port == 0) {
    bound = server.bind_to_any_port("127.0.0.1");
  } else {
    bound = server.bind_to_port("127.0.0.1", port) ? port : -1;
  }
  if (bound <= 0) {
    error = "cannot listen on 127.0.0.1:" + std::to_string(port);
    return false;
  }
  return true;
}

// The library's accept loop ends for good on any accept error but a full descriptor table and
// an interrupted call, closing the listening socket: the listener then refuses every later
// client while the other one goes on serving. A sim that tests depend on listens again on the
// same port instead, and says so on standard error.
void SimServer::serve(Listener& listener) {
  for (int again = 0;; ++again) {
    listener.runs.fetch_add(1);
    if (stopped_.load()) break;
    listener.server->listen_after_bind();
    const int error = errno;
    if (stopped_.load()) break;
    std::fprintf(stderr, "brindle-sim: the %s listener on port %d stopped (%s); listening again\n",
                 listener.name, listener.port, std::strerror(error));
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(100 * again, 1000)));
    if (stopped_.load()) break;
    if (!listener.server->bind_to_port("127.0.0.1", listener.port)) {
      std::fprintf(stderr, "brindle-sim: cannot listen on port %d again\n", listener.port);
      break;
    }
  }
  listener.done.store(true);
}

bool SimServer::start(std::string& error) {
  http_ = std::make_unique<httplib::Server>();
  configure(*http_);
  int http_port = 0;
  int https_port = 0;
  if (!bind(*http_, options_.http_port, http_port, error)) return false;
  state_.http_base = "http://127.0.0.1:" + std::to_string(http_port);

  if (options_.https) {
    SelfSignedCert cert;
    if (!cert.generate(error)) return false;
    if (options_.cert_file.empty()) {
      options_.cert_file = "/tmp/brindle-sim-" + std::to_string(::getpid()) + "-ca.pem";
    }
    std::error_code ec;
    auto absolute = std::filesystem::absolute(options_.cert_file, ec);
    if (!ec) options_.cert_file = absolute.string();
    if (!cert.write_pem(options_.cert_file, error)) return false;
    // The server takes its own references to the certificate and key.
    auto secure = std::make_unique<httplib::SSLServer>(cert.certificate(), cert.key());
    if (!secure->is_valid()) {
      error = "cannot set up TLS";
      return false;
    }
    https_ = std::move(secure);
    configure(*https_);
    if (!bind(*https_, options_.https_port, https_port, error)) return false;
    state_.https_base = "https://127.0.0.1:" + std::to_string(https_port);
    state_.ca_file = options_.cert_file;
  }

  http_listener_.server = http_.get();
  http_listener_.name = "HTTP";
  http_listener_.port = http_port;
  threads_.emplace_back([this] { serve(http_listener_); });
  if (https_) {
    https_listener_.server = https_.get();
    https_listener_.name = "HTTPS";
    https_listener_.port = https_port;
    threads_.emplace_back([this] { serve(https_listener_); });
  }
  // stop() only reaches a listener that is already running, so wait for both to be.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!(http_->is_running() && (!https_ || https_->is_running()))) {
    if (std::chrono::steady_clock::now() > deadline) {
      error = "listeners did not start";
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

void SimServer::stop() {
  if (stopped_.exchange(true)) return;
  state_.request_stop();
  // A listener's thread may be between two listens: each listen begun is stopped once it runs.
  for (Listener* listener : {&http_listener_, &https_listener_}) {
    if (listener->server == nullptr) continue;
    int stopped_run = -1;
    while (!listener->done.load()) {
      const int run = listener->runs.load();
      if (run != stopped_run && listener->server->is_running()) {
        listener->server->stop();
        stopped_run = run;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  for (std::thread& thread : threads_) thread.join();
  threads_.clear();
}

bool SimServer::write_addr_file(const std::string& path) const {
  std::string text = "http=" + state_.http_base + "\n";
  if (!state_.https_base.empty()) {
    text += "https=" + state_.https_base + "\n";
    text += "ca_file=" + state_.ca_file + "\n";
  }
  text += "pid=" + std::to_string(::getpid()) + "\n";
  return write_file_atomically(path, text);
}

bool SimServer::write_endpoints_file(const std::string& path) const {
  // Services prefer HTTPS as the community's do; the mirrors are plain HTTP as theirs are.
  const std::string& secure = state_.https_base.empty() ? state_.http_base : state_.https_base;
  std::string mirror = state_.http_base.substr(std::string("http://").size());
  std::string port = mirror.substr(mirror.find(':'));
  std::string text = "[endpoints]\n";
  text += "software=" + secure + "/software\n";
  text += "server_list=" + secure + "/serverlist\n";
  text += "favourites=" + secure + "/favourites\n";
  text += "forum=" + secure + "/forum\n";
  text += "user_info=" + secure + "/cloud\n";
  text += "mirror_us1=" + mirror + "\n";
  text += "mirror_us2=" + mirror + "\n";
  text += "mirror_telecom=" + mirror + "\n";
  text += "mirror_primary_host=" + mirror + "\n";
  text += "mirror_secondary_host=localhost" + port + "\n";
  text += "operator_uid=1\n";
  text += "ca_file=" + state_.ca_file + "\n";
  text += "tls_verify=1\n";
  return write_file_atomically(path, text);
}

}  // namespace brindle::sim
