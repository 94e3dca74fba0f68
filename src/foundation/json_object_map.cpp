// The member hash of the JSON document's objects: SipHash-1-3 under a key drawn once per
// process, so the names of a hostile text cannot be chosen to land on one slot.
#include "foundation/json_object_map.h"

#include <random>

namespace brindle::json_internal {
namespace {

struct HashKey {
  std::uint64_t k0;
  std::uint64_t k1;
};

HashKey draw_key() {
  HashKey key{0x736f6d6570736575ull, 0x646f72616e646f6dull};
  try {
    std::random_device device;
    key.k0 ^= (static_cast<std::uint64_t>(device()) << 32) | device();
    key.k1 ^= (static_cast<std::uint64_t>(device()) << 32) | device();
  } catch (...) {
    // No source of randomness: the fixed key still hashes; it only loses the protection.
  }
  return key;
}

const HashKey& process_key() {
  static const HashKey key = draw_key();
  return key;
}

constexpr std::uint64_t rotl(std::uint64_t x, int b) { return (x << b) | (x >> (64 - b)); }

struct SipState {
  std::uint64_t v0, v1, v2, v3;
  void round() {
    v0 += v1;
    v1 = rotl(v1, 13);
    v1 ^= v0;
    v0 = rotl(v0, 32);
    v2 += v3;
    v3 = rotl(v3, 16);
    v3 ^= v2;
    v0 += v3;
    v3 = rotl(v3, 21);
    v3 ^= v0;
    v2 += v1;
    v1 = rotl(v1, 17);
    v1 ^= v2;
    v2 = rotl(v2, 32);
  }
  void absorb(std::uint64_t m) {
    v3 ^= m;
    round();
    v0 ^= m;
  }
};

std::uint64_t load_le(const unsigned char* p, std::size_t n) {
  std::uint64_t m = 0;
  for (std::size_t i = 0; i < n; ++i) m |= static_cast<std::uint64_t>(p[i]) << (8 * i);
  return m;
}

}  // namespace

std::uint64_t member_hash(std::string_view text) noexcept {
  const HashKey& key = process_key();
  SipState s{key.k0 ^ 0x736f6d6570736575ull, key.k1 ^ 0x646f72616e646f6dull,
             key.k0 ^ 0x6c7967656e657261ull, key.k1 ^ 0x7465646279746573ull};
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  const std::size_t whole = n & ~static_cast<std::size_t>(7);
  for (std::size_t i = 0; i < whole; i += 8) s.absorb(load_le(p + i, 8));
  s.absorb(load_le(p + whole, n - whole) | (static_cast<std::uint64_t>(n & 0xFF) << 56));
  s.v2 ^= 0xFF;
  s.round();
  s.round();
  s.round();
  return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

}  // namespace brindle::json_internal
