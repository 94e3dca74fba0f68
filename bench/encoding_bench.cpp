// UTF-8 -> GBK conversion speed on 1 MiB of mixed Chinese and ASCII text (a server-list reply is
// mostly this), next to two references measured in the same run: glibc's iconv converting the
// same bytes in one call, and a plain memcpy of them. Compare the bytes_per_second figures.
#include <benchmark/benchmark.h>
#include <iconv.h>

#include <cstring>
#include <string>

#include "foundation/encoding.h"

namespace {

const std::string& mixed_text() {
  static const std::string text = [] {
    const std::string row =
        "{\"name\":\"【僵尸逃跑】ZE 服务器 #12 地图更新\",\"map\":\"ze_dark_souls_v2\","
        "\"players\":\"48/64\",\"mode\":\"娱乐模式\",\"address\":\"203.0.113.7:27015\"},\n";
    std::string out;
    while (out.size() + row.size() <= (1u << 20)) out += row;
    out.append((1u << 20) - out.size(), ' ');
    return out;
  }();
  return text;
}

void BM_Utf8ToGbk(benchmark::State& state) {
  const std::string& text = mixed_text();
  for (auto _ : state) {
    std::string gbk = brindle::utf8_to_gbk(text);
    benchmark::DoNotOptimize(gbk.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_Utf8ToGbk)->Unit(benchmark::kMicrosecond);

void BM_GbkToUtf8(benchmark::State& state) {
  const std::string gbk = brindle::utf8_to_gbk(mixed_text());
  for (auto _ : state) {
    std::string utf8 = brindle::gbk_to_utf8(gbk);
    benchmark::DoNotOptimize(utf8.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * gbk.size()));
}
BENCHMARK(BM_GbkToUtf8)->Unit(benchmark::kMicrosecond);

// Reference: one iconv(3) call over the whole text into a buffer allocated per run, as a
// conversion function would have to.
void BM_IconvReference(benchmark::State& state) {
  const std::string& text = mixed_text();
  iconv_t cd = iconv_open("CP936", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    state.SkipWithError("iconv_open failed");
    return;
  }
  for (auto _ : state) {
    std::string out(text.size(), '\0');
    char* in_ptr = const_cast<char*>(text.data());
    std::size_t in_left = text.size();
    char* out_ptr = out.data();
    std::size_t out_left = out.size();
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left) == static_cast<std::size_t>(-1)) {
      state.SkipWithError("iconv failed");
      break;
    }
    out.resize(out.size() - out_left);
    benchmark::DoNotOptimize(out.data());
  }
  iconv_close(cd);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_IconvReference)->Unit(benchmark::kMicrosecond);

// Reference: copying the bytes, the ceiling for any conversion that writes a new string.
void BM_MemcpyReference(benchmark::State& state) {
  const std::string& text = mixed_text();
  for (auto _ : state) {
    std::string out(text.size(), '\0');
    std::memcpy(out.data(), text.data(), text.size());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_MemcpyReference)->Unit(benchmark::kMicrosecond);

}  // namespace
