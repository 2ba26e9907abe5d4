// One time model: the first line, the re-seed at the fourth sample and the
// limited slope walk (which line a conversion finds is in comm_time_test).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "time/time_fit_buf.h"
#include "time_rows.h"

namespace {

double LineAt(const CBufEntry& e, double x) { return e.m * x + e.c; }

}  // namespace

TEST(TimeFitBuf, SlopeWalksByTheMaximumStepUntilItsBound) {
  for (const double sampleSlope : {2.0, 0.5}) {
    SCOPED_TRACE("sample slope " + std::to_string(sampleSlope));
    const double bound = sampleSlope > 1.0 ? 1.01 : 0.99;
    const double step = sampleSlope > 1.0 ? 1e-5 : -1e-5;
    CTimeFitBuf buf;
    buf.Add(false, 0.0, 0.0);
    CBufEntry previous = Newest(buf);
    EXPECT_EQ(previous.m, 1.0);
    for (int k = 1; k <= 1010; ++k) {
      buf.Add(false, k, sampleSlope * k);
      const CBufEntry e = Newest(buf);
      const double walked = previous.m + step;
      const bool inside = sampleSlope > 1.0 ? walked < bound : walked > bound;
      ASSERT_EQ(e.m, inside ? walked : bound) << "sample " << k;
      // The new line continues the previous one at the previous sample.
      ASSERT_NEAR(LineAt(e, previous.x), LineAt(previous, previous.x), 1e-9) << "sample " << k;
      previous = e;
    }
  }
}

// Samples on a line of the given slope: the first three walk the slope, the
// fourth re-seeds it (within the bounds), and a later sample 1 ms off the line
// is not chased.
TEST(TimeFitBuf, OnlyTheFourthGpsSampleReseeds) {
  const struct {
    double slope;     // of the samples
    double reseeded;  // slope after the fourth sample
  } cases[] = {{1.004, 1.004}, {0.995, 0.995}, {1.5, 1.01}, {0.5, 0.99}};
  for (const auto& c : cases) {
    SCOPED_TRACE("slope " + std::to_string(c.slope));
    CTimeFitBuf buf;
    for (int k = 1; k <= 8; ++k) {
      const double x = 1000.0 + 10.0 * k;
      const double y = c.slope * x + 500.0 + (k == 8 ? 1e-3 : 0.0);
      buf.Add(true, x, y);
      const CBufEntry e = Newest(buf);
      const double walked = 1.0 + (k - 1) * std::copysign(1e-5, c.slope - 1.0);
      EXPECT_NEAR(e.m, k < 4 ? walked : c.reseeded, k < 8 ? 1e-12 : 1.1e-5) << "sample " << k;
      if (k >= 4 && c.slope == c.reseeded) {
        EXPECT_EQ(std::fabs(LineAt(e, x) - y) > 5e-4, k == 8) << "sample " << k;
      }
    }
  }
}

TEST(TimeFitBuf, FirstLineClearAndSamplesThatAreNotNumbers) {
  CTimeFitBuf buf;
  CBufEntry out;
  buf.Add(false, 1.0, 2.5);
  EXPECT_EQ(Newest(buf).m, 1.0);
  EXPECT_EQ(Newest(buf).c, 1.5) << "the first sample gives a unit-slope line through it";
  buf.Add(false, 2.0, 3.0);
  for (const double v : {std::nan(""), std::numeric_limits<double>::infinity()}) {
    buf.Add(false, v, 4.0);
    buf.Add(true, 3.0, v);
  }
  EXPECT_EQ(buf.GetCount(), 2u);
  EXPECT_EQ(Newest(buf).x, 2.0);
  buf.Clear();
  EXPECT_EQ(buf.GetCount(), 0u);
  EXPECT_FALSE(buf.GetLast(out));
}
