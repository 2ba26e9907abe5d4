// One time model: the first line, the re-seed at the fourth sample, the
// limited slope walk, which line a conversion finds, and the full ring.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "time/time_fit_buf.h"

namespace {

CBufEntry TimeFitBufNewest(CTimeFitBuf& buf) {
  CBufEntry e;
  EXPECT_TRUE(buf.GetLast(e));
  return e;
}

// The value of an entry's line at x.
double LineAt(const CBufEntry& e, double x) { return e.m * x + e.c; }

}  // namespace

TEST(TimeFitBuf, OneSampleGivesAUnitSlopeLineThatIsNeverFound) {
  CTimeFitBuf buf;
  CBufEntry out{-1.0, -1.0, -1.0, -1.0};
  EXPECT_FALSE(buf.Find(10.0, out));
  EXPECT_EQ(out.x, -1.0) << "an empty ring leaves the output alone";
  EXPECT_FALSE(buf.GetLast(out));

  buf.Add(false, 100.0, 1100.5);
  const CBufEntry e = TimeFitBufNewest(buf);
  EXPECT_EQ(e.m, 1.0);
  EXPECT_EQ(e.c, 1000.5);
  for (double t : {50.0, 100.0, 200.0}) {
    EXPECT_FALSE(buf.Find(t, out)) << t;
    EXPECT_EQ(out.x, 100.0) << "the oldest entry is copied but not reported";
  }
}

TEST(TimeFitBuf, EqualDeviceTimesGiveAUnitSlopeThroughTheNewest) {
  for (bool reinit : {false, true}) {
    CTimeFitBuf buf;
    buf.Add(reinit, 5.0, 10.0);
    buf.Add(reinit, 5.0, 12.0);
    CBufEntry e = TimeFitBufNewest(buf);
    EXPECT_EQ(e.m, 1.0);
    EXPECT_EQ(e.c, 7.0);
    buf.Add(reinit, 5.0, 11.0);
    buf.Add(reinit, 5.0, 9.0);  // the fourth sample: nothing to re-seed from
    e = TimeFitBufNewest(buf);
    EXPECT_EQ(e.m, 1.0);
    EXPECT_EQ(e.c, 4.0);
  }
}

TEST(TimeFitBuf, LinearSamplesReseedAtTheFourthGpsSample) {
  struct Case {
    double slope;     // of the samples
    double reseeded;  // slope after the fourth sample
  };
  const Case cases[] = {
      {1.004, 1.004}, {0.995, 0.995}, {1.0, 1.0}, {1.01, 1.01}, {0.99, 0.99}, {1.5, 1.01}, {0.5, 0.99},
  };
  const double offset = 500.0;
  for (const auto& c : cases) {
    SCOPED_TRACE("slope " + std::to_string(c.slope));
    CTimeFitBuf gps, pc;
    double expectedPc = 1.0;
    for (int k = 1; k <= 12; ++k) {
      const double x = 1000.0 + 10.0 * k;
      const double y = c.slope * x + offset;
      gps.Add(true, x, y);
      pc.Add(false, x, y);
      const CBufEntry g = TimeFitBufNewest(gps);
      if (k == 4) {
        EXPECT_NEAR(g.m, c.reseeded, 1e-12);
        EXPECT_NEAR(LineAt(g, x), y, 1e-6) << "the re-seeded line passes through the newest sample";
      }
      if (k > 4 && c.slope == c.reseeded) {
        EXPECT_NEAR(g.m, c.slope, 1e-12) << "sample " << k;
        EXPECT_NEAR(LineAt(g, x), y, 1e-6) << "sample " << k;
      }
      if (k > 4 && c.slope != c.reseeded) {
        EXPECT_EQ(g.m, c.reseeded) << "sample " << k;
      }
      if (k < 4) {
        const double walked = 1.0 + (k - 1) * std::copysign(1e-5, c.slope - 1.0);
        EXPECT_NEAR(g.m, c.slope == 1.0 ? 1.0 : walked, 1e-15) << "sample " << k;
      }
      // Without re-seeding the slope only walks, one limited step per sample.
      const CBufEntry p = TimeFitBufNewest(pc);
      if (k > 1 && c.slope != 1.0) expectedPc += std::copysign(1e-5, c.slope - 1.0);
      EXPECT_NEAR(p.m, expectedPc, 1e-15) << "sample " << k;
    }
  }
}

TEST(TimeFitBuf, OnlyTheFourthSampleReseeds) {
  // Samples on a line, then one sample 1 ms off it: re-seeding would put the
  // newest line through that sample; tracking continues the previous line.
  for (int offAt : {4, 5, 6, 30, 60, 61, 125}) {
    SCOPED_TRACE("off-line sample number " + std::to_string(offAt));
    CTimeFitBuf buf;
    CBufEntry previous;
    for (int k = 1; k <= offAt; ++k) {
      const double x = 10.0 * k;
      const double y = 1.004 * x + 50.0 + (k == offAt ? 1e-3 : 0.0);
      previous = k > 1 ? TimeFitBufNewest(buf) : previous;
      buf.Add(true, x, y);
    }
    const CBufEntry e = TimeFitBufNewest(buf);
    const double x = 10.0 * offAt;
    if (offAt == 4) {
      EXPECT_NEAR(LineAt(e, x), e.y, 1e-9);
    } else {
      EXPECT_NEAR(LineAt(e, previous.x), LineAt(previous, previous.x), 1e-9);
      EXPECT_LE(std::fabs(e.m - previous.m), 1e-5 + 1e-15);
      EXPECT_GT(std::fabs(LineAt(e, x) - e.y), 5e-4) << "the newest line does not chase the sample";
    }
  }
}

TEST(TimeFitBuf, SlopeWalksByExactlyTheMaximumStepAndStaysInItsBounds) {
  struct Case {
    double sampleSlope;
    double bound;
  };
  for (const Case c : {Case{2.0, 1.01}, Case{0.5, 0.99}, Case{50.0, 1.01}, Case{-3.0, 0.99}}) {
    SCOPED_TRACE("sample slope " + std::to_string(c.sampleSlope));
    CTimeFitBuf buf;
    buf.Add(false, 0.0, 0.0);
    CBufEntry previous = TimeFitBufNewest(buf);
    int reachedAt = 0;
    for (int k = 1; k <= 1100; ++k) {
      const double x = k;
      buf.Add(false, x, c.sampleSlope * x);
      const CBufEntry e = TimeFitBufNewest(buf);
      ASSERT_GE(e.m, 0.99) << "sample " << k;
      ASSERT_LE(e.m, 1.01) << "sample " << k;
      const double step = c.bound > 1.0 ? 1e-5 : -1e-5;
      const double walked = previous.m + step;
      if ((c.bound > 1.0 && walked < c.bound) || (c.bound < 1.0 && walked > c.bound)) {
        ASSERT_EQ(e.m, walked) << "sample " << k;
      } else {
        ASSERT_EQ(e.m, c.bound) << "sample " << k;
        if (reachedAt == 0) reachedAt = k;
      }
      // The new line continues the previous one at the previous sample.
      ASSERT_NEAR(LineAt(e, previous.x), LineAt(previous, previous.x), 1e-9) << "sample " << k;
      previous = e;
    }
    EXPECT_NEAR(reachedAt, 1000, 1) << "a hundredth of slope takes a thousand steps";
  }
}

TEST(TimeFitBuf, FindsTheNewestLineNotAfterTAndNeverTheOldest) {
  CTimeFitBuf buf;
  buf.Add(false, 10.0, 110.0);
  buf.Add(false, 20.0, 120.0);
  buf.Add(false, 30.0, 130.0);
  struct Case {
    double t;
    bool found;
    double entryX;
  };
  const Case cases[] = {
      {35.0, true, 30.0}, {30.0, true, 30.0}, {29.999, true, 20.0}, {20.0, true, 20.0},
      {19.999, false, 10.0}, {10.0, false, 10.0}, {-5.0, false, 10.0},
  };
  for (const auto& c : cases) {
    CBufEntry out;
    EXPECT_EQ(buf.Find(c.t, out), c.found) << c.t;
    EXPECT_EQ(out.x, c.entryX) << c.t;
  }
}

TEST(TimeFitBuf, TheSixtyFirstSampleOverwritesTheOldest) {
  CTimeFitBuf buf;
  for (int k = 1; k <= 60; ++k) buf.Add(false, k, k + 100.0);
  EXPECT_EQ(buf.GetCount(), 60u);
  CBufEntry out;
  EXPECT_TRUE(buf.Find(2.5, out));
  EXPECT_EQ(out.x, 2.0);
  EXPECT_FALSE(buf.Find(1.5, out));

  buf.Add(false, 61.0, 161.0);
  EXPECT_EQ(buf.GetCount(), 60u);
  EXPECT_EQ(TimeFitBufNewest(buf).x, 61.0);
  EXPECT_FALSE(buf.Find(2.5, out)) << "x = 2 is now the oldest";
  EXPECT_EQ(out.x, 2.0);
  EXPECT_TRUE(buf.Find(3.0, out));
  EXPECT_EQ(out.x, 3.0);
  EXPECT_TRUE(buf.Find(60.5, out));
  EXPECT_EQ(out.x, 60.0);

  for (int k = 62; k <= 185; ++k) buf.Add(false, k, k + 100.0);
  EXPECT_EQ(buf.GetCount(), 60u);
  EXPECT_FALSE(buf.Find(126.9, out));
  EXPECT_EQ(out.x, 126.0);
  EXPECT_TRUE(buf.Find(127.0, out));
  EXPECT_EQ(out.x, 127.0);
}

TEST(TimeFitBuf, ClearEmptiesAndSamplesThatAreNotNumbersAreDropped) {
  CTimeFitBuf buf;
  buf.Add(false, 1.0, 2.0);
  buf.Add(false, 2.0, 3.0);
  const double bad[] = {std::nan(""), std::numeric_limits<double>::infinity(),
                        -std::numeric_limits<double>::infinity()};
  for (double v : bad) {
    buf.Add(false, v, 4.0);
    buf.Add(true, 3.0, v);
  }
  EXPECT_EQ(buf.GetCount(), 2u);
  EXPECT_EQ(TimeFitBufNewest(buf).x, 2.0);
  buf.Add(false, 3.0, 4.0);
  CBufEntry out;
  ASSERT_TRUE(buf.Find(3.5, out));
  EXPECT_DOUBLE_EQ(LineAt(out, 3.5), 4.5);

  buf.Clear();
  EXPECT_EQ(buf.GetCount(), 0u);
  EXPECT_FALSE(buf.GetLast(out));
  EXPECT_FALSE(buf.Find(3.5, out));
}
