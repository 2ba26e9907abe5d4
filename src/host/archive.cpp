#include "host/archive.h"

#include <bit>
#include <cstring>

static_assert(std::endian::native == std::endian::little, "archives are little-endian");

CArchive& CArchive::Write(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  m_bytes.insert(m_bytes.end(), bytes, bytes + size);
  return *this;
}

CArchive& CArchive::Read(void* data, std::size_t size) {
  if (!m_good || m_bytes.size() - m_readPos < size) {
    m_good = false;
    return *this;
  }
  std::memcpy(data, m_bytes.data() + m_readPos, size);
  m_readPos += size;
  return *this;
}
