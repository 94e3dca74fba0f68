// /files/<path>: the files of the data folder, streamed in large pieces so a big map download
// costs the sim little. Paths that climb out of the folder are refused.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <vector>

#include "sim_state.h"

namespace brindle::sim {
namespace {

constexpr std::size_t kReadChunk = 1024 * 1024;

struct OpenFile {
  int fd = -1;
  std::vector<char> buffer;
  ~OpenFile() {
    if (fd >= 0) ::close(fd);
  }
};

// The path below the data folder, or empty when it is not a plain relative path.
std::string safe_relative(const std::string& path) {
  if (path.empty() || path.front() == '/') return {};
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string_view part(path.data() + start, end - start);
    if (part.empty() || part == "." || part == "..") return {};
    start = end + 1;
  }
  if (path.find('\0') != std::string::npos) return {};
  return path;
}

void serve_file(const httplib::Request& request, httplib::Response& response,
                const SimState& state) {
  std::string relative = safe_relative(request.matches[1]);
  if (state.data_dir.empty() || relative.empty()) {
    response.status = 404;
    return;
  }
  std::string path = state.data_dir + "/" + relative;
  auto file = std::make_shared<OpenFile>();
  file->fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat info {};
  if (file->fd < 0 || ::fstat(file->fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    response.status = 404;
    response.set_content("not found", "text/plain");
    return;
  }
  response.set_content_provider(
      static_cast<std::size_t>(info.st_size), "application/octet-stream",
      [file](std::size_t offset, std::size_t remaining, httplib::DataSink& sink) {
        if (file->buffer.empty()) file->buffer.resize(kReadChunk);
        std::size_t want = std::min(remaining, file->buffer.size());
        ssize_t got = ::pread(file->fd, file->buffer.data(), want, static_cast<off_t>(offset));
        if (got <= 0) return false;  // the file shrank: end the reply short
        return sink.write(file->buffer.data(), static_cast<std::size_t>(got));
      });
}

}  // namespace

void install_file_routes(httplib::Server& server, SimState& state) {
  server.Get(R"(/files/(.+))",
             [&state](const httplib::Request& request, httplib::Response& response) {
               serve_file(request, response, state);
             });
}

}  // namespace brindle::sim
