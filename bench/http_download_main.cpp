// Downloads one URL into one file through http_download_file, for the download benchmark.
//   http_download_main URL FILE [CA_FILE]
// Exit status 0 only for status 200 with every announced byte received.
#include <cstdio>
#include <string>

#include "foundation/http_client.h"
#include "foundation/http_settings.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fputs("usage: http_download_main URL FILE [CA_FILE]\n", stderr);
    return 2;
  }
  (void)brindle::http_global_init();
  if (argc > 3) brindle::set_tls_ca_file(argv[3]);
  brindle::HttpTransferInfo info;
  int status = brindle::http_download_file(argv[1], argv[2], &info);
  if (status != 200 || !info.complete()) {
    std::fprintf(stderr, "status %d, curl code %d (%s), %lld bytes\n", status, info.curl_code,
                 info.curl_error.c_str(), static_cast<long long>(info.body_bytes));
    return 1;
  }
  return 0;
}
