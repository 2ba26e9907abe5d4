// Little-endian field access on raw message bytes. Fields of the sonar and hub
// messages sit at any offset, so they are copied out with memcpy and never read
// through a cast pointer.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace LittleEndian {

template <class T>
T Read(const unsigned char* bytes) {
  static_assert(std::is_unsigned_v<T>);
  unsigned char raw[sizeof(T)];
  std::memcpy(raw, bytes, sizeof raw);
  if constexpr (std::endian::native == std::endian::big) std::reverse(raw, raw + sizeof raw);
  T value;
  std::memcpy(&value, raw, sizeof value);
  return value;
}

template <class T>
void Write(unsigned char* bytes, T value) {
  static_assert(std::is_unsigned_v<T>);
  unsigned char raw[sizeof(T)];
  std::memcpy(raw, &value, sizeof raw);
  if constexpr (std::endian::native == std::endian::big) std::reverse(raw, raw + sizeof raw);
  std::memcpy(bytes, raw, sizeof raw);
}

inline std::uint16_t U16(const unsigned char* bytes) { return Read<std::uint16_t>(bytes); }
inline std::uint32_t U32(const unsigned char* bytes) { return Read<std::uint32_t>(bytes); }
inline std::uint64_t U64(const unsigned char* bytes) { return Read<std::uint64_t>(bytes); }

inline void PutU16(unsigned char* bytes, std::uint16_t value) { Write(bytes, value); }
inline void PutU32(unsigned char* bytes, std::uint32_t value) { Write(bytes, value); }
inline void PutU64(unsigned char* bytes, std::uint64_t value) { Write(bytes, value); }

}  // namespace LittleEndian
