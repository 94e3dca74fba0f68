#include "map_content.h"

#include <bzlib.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace brindle::sim {
namespace {

constexpr int kBspVersion = 21;  // CS:GO's
constexpr int kLumps = 64;
constexpr std::size_t kChunk = 1024 * 1024;

void put32(std::string& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

std::uint64_t seed_of(std::string_view name, std::uint64_t size) {
  std::uint64_t hash = 0xcbf29ce484222325ull;  // FNV-1a
  for (unsigned char c : name) hash = (hash ^ c) * 0x100000001b3ull;
  hash ^= size * 0x9E3779B97F4A7C15ull;
  return hash == 0 ? 1 : hash;
}

std::string entity_lump(std::string_view name, std::uint64_t seed) {
  std::string text = "{\n\"world_mins\" \"-4096 -4096 -1024\"\n\"world_maxs\" \"4096 4096 2048\"\n";
  text += "\"mapversion\" \"" + std::to_string(seed % 5000) + "\"\n";
  text += "\"skyname\" \"sky_csgo_night02\"\n\"classname\" \"worldspawn\"\n";
  text += "\"message\" \"" + std::string(name) + "\"\n}\n";
  for (int i = 0; i < 8; ++i) {
    text += "{\n\"origin\" \"" + std::to_string(static_cast<int>((seed >> i) % 2048) - 1024) + " " +
            std::to_string(i * 64) + " 16\"\n\"angles\" \"0 90 0\"\n";
    text += std::string("\"classname\" \"") +
            (i % 2 ? "info_player_counterterrorist" : "info_player_terrorist") + "\"\n}\n";
  }
  text.push_back('\0');
  return text;
}

}  // namespace

MapBytes::MapBytes(std::string_view name, std::uint64_t size) : size_(size) {
  random_ = seed_of(name, size);
  const std::string entities = entity_lump(name, random_);
  const std::uint64_t header_size = 8 + kLumps * 16 + 4;
  head_ = "VBSP";
  put32(head_, kBspVersion);
  // Lump 0 holds the entities right after the header; the others share the rest evenly.
  const std::uint64_t rest_start = header_size + entities.size();
  const std::uint64_t rest = size > rest_start ? size - rest_start : 0;
  for (int i = 0; i < kLumps; ++i) {
    std::uint64_t offset = i == 0 ? header_size : rest_start + rest * (i - 1) / (kLumps - 1);
    std::uint64_t length =
        i == 0 ? entities.size() : rest * i / (kLumps - 1) - rest * (i - 1) / (kLumps - 1);
    put32(head_, static_cast<std::uint32_t>(offset));
    put32(head_, static_cast<std::uint32_t>(length));
    put32(head_, 0);
    put32(head_, 0);
  }
  put32(head_, static_cast<std::uint32_t>(random_ % 10000));  // map revision
  head_ += entities;
  if (head_.size() > size_) head_.resize(static_cast<std::size_t>(size_));
}

std::size_t MapBytes::read(char* out, std::size_t length) {
  std::size_t done = 0;
  while (done < length && position_ < size_) {
    if (position_ < head_.size()) {
      std::size_t piece =
          std::min(length - done, head_.size() - static_cast<std::size_t>(position_));
      std::memcpy(out + done, head_.data() + position_, piece);
      done += piece;
      position_ += piece;
      continue;
    }
    // Lump data in 4-byte records that look like floats: a random low byte, a few random bits,
    // and a high half drawn from four values.
    const std::uint64_t body = position_ - head_.size();
    const std::size_t skip = static_cast<std::size_t>(body % 8);
    if (skip == 0) {
      random_ ^= random_ << 13;
      random_ ^= random_ >> 7;
      random_ ^= random_ << 17;
    }
    unsigned char block[8];
    for (int k = 0; k < 2; ++k) {
      const auto v = static_cast<std::uint32_t>(random_ >> (32 * k));
      block[4 * k] = static_cast<unsigned char>(v & 0xFF);
      block[4 * k + 1] = static_cast<unsigned char>((v >> 8) & 0x07);
      block[4 * k + 2] = (v >> 12) & 1 ? 0x80 : 0x00;
      block[4 * k + 3] = static_cast<unsigned char>(0x43 + ((v >> 13) & 1));
    }
    std::size_t piece = std::min<std::uint64_t>({length - done, 8 - skip, size_ - position_});
    std::memcpy(out + done, block + skip, piece);
    done += piece;
    position_ += piece;
  }
  return done;
}

namespace {

// Zeros, read as MapBytes is.
class ZeroBytes {
 public:
  explicit ZeroBytes(std::uint64_t size) : left_(size) {}
  std::uint64_t remaining() const { return left_; }
  std::size_t read(char* out, std::size_t length) {
    const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(length, left_));
    std::memset(out, 0, piece);
    left_ -= piece;
    return piece;
  }

 private:
  std::uint64_t left_;
};

template <typename Source>
bool write_bytes(const std::string& path, Source& bytes, bool compress, std::string& error) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
  if (!file) {
    error = "cannot create " + path;
    return false;
  }
  std::vector<char> in(kChunk);
  bool ok = true;
  if (!compress) {
    while (ok && bytes.remaining() > 0) {
      std::size_t got = bytes.read(in.data(), in.size());
      ok = std::fwrite(in.data(), 1, got, file.get()) == got;
    }
  } else {
    bz_stream stream{};
    if (BZ2_bzCompressInit(&stream, 9, 0, 0) != BZ_OK) {
      error = "bzip2 would not start";
      return false;
    }
    std::vector<char> out(kChunk);
    int result = BZ_RUN_OK;
    while (ok && result != BZ_STREAM_END) {
      if (stream.avail_in == 0 && bytes.remaining() > 0) {
        stream.next_in = in.data();
        stream.avail_in = static_cast<unsigned>(bytes.read(in.data(), in.size()));
      }
      const int action = bytes.remaining() == 0 ? BZ_FINISH : BZ_RUN;
      stream.next_out = out.data();
      stream.avail_out = static_cast<unsigned>(out.size());
      result = BZ2_bzCompress(&stream, action);
      if (result != BZ_RUN_OK && result != BZ_FINISH_OK && result != BZ_STREAM_END) {
        ok = false;
        break;
      }
      std::size_t made = out.size() - stream.avail_out;
      ok = std::fwrite(out.data(), 1, made, file.get()) == made;
    }
    BZ2_bzCompressEnd(&stream);
  }
  if (std::fflush(file.get()) != 0) ok = false;
  if (!ok) error = "cannot write " + path;
  return ok;
}

}  // namespace

bool write_map_file(const std::string& path, std::string_view name, std::uint64_t size,
                    bool compress, std::string& error) {
  MapBytes bytes(name, size);
  return write_bytes(path, bytes, compress, error);
}

bool write_zero_bz2(const std::string& path, std::uint64_t size, std::string& error) {
  ZeroBytes bytes(size);
  return write_bytes(path, bytes, true, error);
}

std::string map_crc32(std::string_view name, std::uint64_t size) {
  MapBytes bytes(name, size);
  std::vector<char> in(kChunk);
  uLong crc = crc32(0L, Z_NULL, 0);
  while (bytes.remaining() > 0) {
    std::size_t got = bytes.read(in.data(), in.size());
    crc = crc32(crc, reinterpret_cast<const Bytef*>(in.data()), static_cast<uInt>(got));
  }
  char text[9];
  std::snprintf(text, sizeof text, "%08lX", static_cast<unsigned long>(crc & 0xFFFFFFFFul));
  return text;
}

}  // namespace brindle::sim
