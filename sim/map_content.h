// The bytes of brindle-sim's demo maps: a Source BSP header naming the map, an entity lump and
// lump data that bzip2 shrinks to about the share real maps shrink to. The same name and size
// always give the same bytes, so the mirror's files, the map lists' sizes and CRCs and the
// files the client installs agree across runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace brindle::sim {

class MapBytes {
 public:
  MapBytes(std::string_view name, std::uint64_t size);

  // Writes the next min(length, remaining()) bytes to `out`; returns how many.
  std::size_t read(char* out, std::size_t length);
  std::uint64_t remaining() const { return size_ - position_; }

 private:
  std::string head_;  // header and entity lump, cut to the size
  std::uint64_t size_;
  std::uint64_t position_ = 0;
  std::uint64_t random_;
};

// Streams the map's bytes into `path` (plain) or through bzip2 (level 9, like `bzip2 -9`).
// False with `error` set when the file cannot be written.
bool write_map_file(const std::string& path, std::string_view name, std::uint64_t size,
                    bool compress, std::string& error);

// A bzip2 file of `size` zero bytes: a few hundred bytes that unpack to any size (a map list that
// announces a small map and a mirror that sends this instead).
bool write_zero_bz2(const std::string& path, std::uint64_t size, std::string& error);

// CRC-32 (zlib's) of the map's bytes as eight upper-case hex digits.
std::string map_crc32(std::string_view name, std::uint64_t size);

}  // namespace brindle::sim
