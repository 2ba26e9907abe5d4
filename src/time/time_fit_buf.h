// A time model: a ring of recent (device time, reference time) samples, each
// holding the line fitted when it was the newest. A ring starts with a
// unit-slope line through its first sample, then tracks the least-squares
// slope by at most m_maxStep per sample; at its fourth sample it may instead
// be re-seeded from the least-squares slope.
#pragma once

#include <cstddef>
#include <mutex>

#include "host/ds_array.h"

struct CBufEntry {
  double x = 0.0;  // device time, seconds
  double y = 0.0;  // reference time, seconds
  double m = 1.0;  // slope: y = m * x + c
  double c = 0.0;
};

class CTimeFitBuf {
 public:
  // Drops a sample that is not finite.
  void Add(bool allowReinit, double x, double y);
  // The line to convert t with: from the newest entry back to the first entry
  // not after t. False (out untouched) for an empty ring, and false when the
  // walk reaches the oldest entry, whose line is never used.
  bool Find(double t, CBufEntry& out);
  bool GetLast(CBufEntry& out);
  void Clear();
  std::size_t GetCount();

  unsigned m_capacity = 60;
  double m_maxStep = 1e-5;
  double m_maxSlope = 1.01;
  double m_minSlope = 0.99;

 private:
  void Fit(bool reinit);
  double ClampSlope(double slope) const;

  CDSArray<CBufEntry> m_entries;
  unsigned m_newest = 0;
  std::mutex m_lock;
};
