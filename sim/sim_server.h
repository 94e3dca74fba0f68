// brindle-sim's listeners: one plain HTTP and one HTTPS server on 127.0.0.1, both carrying the
// same routes. Each service of the community adds its routes through add_routes() before start.
#pragma once

#include <httplib.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "sim_state.h"

namespace brindle::sim {

struct SimOptions {
  std::string data_dir;
  std::string cert_file;  // where the generated certificate is written (the clients' CA file)
  int http_port = 0;      // 0: an ephemeral port
  int https_port = 0;
  bool https = true;
  int threads = 64;  // per listener; a kept-alive connection holds one
};

class SimServer {
 public:
  using RouteInstaller = std::function<void(httplib::Server&, SimState&)>;

  explicit SimServer(SimOptions options);
  ~SimServer();
  SimServer(const SimServer&) = delete;
  SimServer& operator=(const SimServer&) = delete;

  // Routes are installed on every listener when start() runs.
  void add_routes(RouteInstaller installer);

  // Creates the certificate, binds both listeners and starts serving. False with `error` set
  // when anything fails.
  bool start(std::string& error);
  // Ends slow replies, stops the listeners and joins their threads. Safe to call twice.
  void stop();

  SimState& state() { return state_; }
  const SimState& state() const { return state_; }

  // "http=…", "https=…", "ca_file=…" and "pid=…" lines, written atomically.
  bool write_addr_file(const std::string& path) const;
  // An [endpoints] INI section pointing the program's services at this sim.
  bool write_endpoints_file(const std::string& path) const;

 private:
  // One listener and the thread that serves it.
  struct Listener {
    httplib::Server* server = nullptr;
    const char* name = "";
    int port = 0;
    std::atomic<int> runs{0};  // listens begun, counted before each begins
    std::atomic<bool> done{false};
  };
  bool bind(httplib::Server& server, int port, int& bound, std::string& error);
  void configure(httplib::Server& server);
  void serve(Listener& listener);

  SimOptions options_;
  SimState state_;
  std::vector<RouteInstaller> installers_;
  std::unique_ptr<httplib::Server> http_;
  std::unique_ptr<httplib::Server> https_;
  Listener http_listener_;
  Listener https_listener_;
  std::vector<std::thread> threads_;
  std::atomic<bool> stopped_{false};
};

// Writes `text` to `path` through a temporary file and a rename, so readers never see half.
bool write_file_atomically(const std::string& path, const std::string& text);

}  // namespace brindle::sim
