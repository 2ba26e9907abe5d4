// A binary archive for object serialisation: values are written in order,
// little-endian, and read back in the same order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class CArchive {
 public:
  enum Mode { store, load };

  // A storing archive starts empty; a loading one reads the given bytes.
  explicit CArchive(Mode mode, std::vector<std::uint8_t> bytes = {})
      : m_mode(mode), m_bytes(std::move(bytes)) {}

  bool IsStoring() const { return m_mode == store; }
  bool IsLoading() const { return m_mode == load; }
  // False once a read ran past the end; values read then are left unchanged.
  bool IsGood() const { return m_good; }
  const std::vector<std::uint8_t>& GetBytes() const { return m_bytes; }

  CArchive& operator<<(double value) { return Write(&value, sizeof value); }
  CArchive& operator<<(std::int32_t value) { return Write(&value, sizeof value); }
  CArchive& operator>>(double& value) { return Read(&value, sizeof value); }
  CArchive& operator>>(std::int32_t& value) { return Read(&value, sizeof value); }

 private:
  CArchive& Write(const void* data, std::size_t size);
  CArchive& Read(void* data, std::size_t size);

  Mode m_mode;
  std::vector<std::uint8_t> m_bytes;
  std::size_t m_readPos = 0;
  bool m_good = true;
};
