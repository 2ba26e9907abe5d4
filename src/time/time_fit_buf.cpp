#include "time/time_fit_buf.h"

#include <cmath>

namespace {
// Seconds ahead at which a tracking line aims at the fitted line.
constexpr double kTrackingHorizon = 100.0;
// The sample count at which a ring may be re-seeded.
constexpr std::size_t kReinitSample = 4;
}  // namespace

void CTimeFitBuf::Add(bool allowReinit, double x, double y) {
  // A sample that is not a number would poison every line fitted after it,
  // and the upkeep's residual test cannot see it: drop it here.
  if (!std::isfinite(x) || !std::isfinite(y)) return;
  std::lock_guard guard(m_lock);
  const std::size_t count = m_entries.GetCount();
  if (count < m_capacity) {
    m_entries.SetSize(count + 1);
    m_newest = static_cast<unsigned>(count);
  } else {
    m_newest = (m_newest + 1) % m_capacity;
  }
  CBufEntry& newest = *m_entries[m_newest];
  newest.x = x;
  newest.y = y;
  Fit(allowReinit && m_entries.GetCount() == kReinitSample);
}

double CTimeFitBuf::ClampSlope(double slope) const {
  if (slope >= m_maxSlope) return m_maxSlope;
  if (slope <= m_minSlope) return m_minSlope;
  return slope;
}

void CTimeFitBuf::Fit(bool reinit) {
  const std::size_t n = m_entries.GetCount();
  CBufEntry& r = *m_entries[m_newest];
  // Sums relative to the newest sample keep the numbers small.
  double sx = 0.0, sy = 0.0, sxx = 0.0, sxy = 0.0;
  for (const auto& entry : m_entries) {
    const double dx = entry->x - r.x;
    const double dy = entry->y - r.y;
    sx += dx;
    sy += dy;
    sxx += dx * dx;
    sxy += dx * dy;
  }
  const double count = static_cast<double>(n);
  const double d = count * sxx - sx * sx;
  if (d == 0.0) {
    r.m = 1.0;
    r.c = r.y - r.x;
    return;
  }
  const double m = (count * sxy - sx * sy) / d;
  const double c0 = (sy - m * sx) / count;  // the fitted line at x_r, relative to y_r

  if (reinit) {
    r.m = ClampSlope(m);
    r.c = r.y - r.m * r.x;
    return;
  }

  const CBufEntry& p = *m_entries[(m_newest + n - 1) % n];
  const double error = p.m * r.x + p.c - r.y;
  const double target = (c0 + kTrackingHorizon * m - error) / kTrackingHorizon;
  double slope = target;
  if (target - p.m > m_maxStep) {
    slope = p.m + m_maxStep;
  } else if (target - p.m < -m_maxStep) {
    slope = p.m - m_maxStep;
  }
  r.m = ClampSlope(slope);
  r.c = p.c + (p.m - r.m) * p.x;  // agrees with p's line at p.x
}

bool CTimeFitBuf::Find(double t, CBufEntry& out) {
  std::lock_guard guard(m_lock);
  const std::size_t n = m_entries.GetCount();
  if (n == 0) return false;
  const std::size_t oldest = (m_newest + 1) % n;
  std::size_t at = m_newest;
  while (t < m_entries[at]->x && at != oldest) at = (at + n - 1) % n;
  out = *m_entries[at];
  return at != oldest;
}

bool CTimeFitBuf::GetLast(CBufEntry& out) {
  std::lock_guard guard(m_lock);
  if (m_entries.IsEmpty()) return false;
  out = *m_entries[m_newest];
  return true;
}

void CTimeFitBuf::Clear() {
  std::lock_guard guard(m_lock);
  m_entries.SetSize(0);
}

std::size_t CTimeFitBuf::GetCount() {
  std::lock_guard guard(m_lock);
  return m_entries.GetCount();
}
