// Running average over the last few values.
#pragma once

#include <cstddef>
#include <vector>

class CStatBuf {
 public:
  // Resizing forgets the values seen so far.
  void SetSize(std::size_t size);
  void SetValue(double value);
  // Average of the values kept (at most size of them); 0 when there are none.
  double GetAvg() const;
  std::size_t GetCount() const { return m_count; }

 private:
  std::vector<double> m_values;
  std::size_t m_next = 0;
  std::size_t m_count = 0;
};
