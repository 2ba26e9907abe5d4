#include "host/stat_buf.h"

void CStatBuf::SetSize(std::size_t size) {
  m_values.assign(size, 0.0);
  m_next = 0;
  m_count = 0;
}

void CStatBuf::SetValue(double value) {
  if (m_values.empty()) return;
  m_values[m_next] = value;
  m_next = (m_next + 1) % m_values.size();
  if (m_count < m_values.size()) ++m_count;
}

double CStatBuf::GetAvg() const {
  if (m_count == 0) return 0.0;
  double sum = 0.0;
  for (std::size_t i = 0; i < m_count; ++i) sum += m_values[i];
  return sum / static_cast<double>(m_count);
}
