// Low latency on opening a line: asked of drivers that take it, one status line from those that refuse.
#include <gtest/gtest.h>

#include <linux/serial.h>

#include <cerrno>

#include "port/low_latency.h"
#include "support/capture.h"

namespace {

// A driver that answers each request with a set error (0 accepts).
class LowLatencyTestDriver : public SerialInfoAccess {
 public:
  LowLatencyTestDriver(int flags, int getError, int setError)
      : m_flags(flags), m_getError(getError), m_setError(setError) {}
  int Get(int, serial_struct& info) override {
    info.flags = m_flags;
    info.baud_base = 921600;
    return m_getError;
  }
  int Set(int, const serial_struct& info) override {
    ++m_sets;
    if (m_setError) return m_setError;
    m_flags = info.flags;
    m_baudBase = info.baud_base;
    return 0;
  }
  int m_flags, m_getError, m_setError;
  int m_sets = 0, m_baudBase = 0;
};

}  // namespace

TEST(LowLatency, DriversThatTakeItGetTheFlagOthersGiveOneStatusLine) {
  const struct {
    int flags, getError, setError;
    int result, sets, flagsAfter;
    bool status;
  } cases[] = {
      {ASYNC_SKIP_TEST, 0, 0, 0, 1, ASYNC_SKIP_TEST | ASYNC_LOW_LATENCY, false},  // other flags kept
      {ASYNC_LOW_LATENCY, 0, 0, 0, 0, ASYNC_LOW_LATENCY, false},                  // already low latency
      {0, ENOTTY, 0, ENOTTY, 0, 0, true},                                         // no serial driver
      {0, 0, EPERM, EPERM, 1, 0, true},                                           // driver refuses the change
  };
  for (const auto& c : cases) {
    ScopedReports reports;
    LowLatencyTestDriver driver(c.flags, c.getError, c.setError);
    EXPECT_EQ(RequestLowLatency(3, "/dev/ttyUSB0", driver), c.result);
    EXPECT_EQ(driver.m_sets, c.sets);
    EXPECT_EQ(driver.m_flags, c.flagsAfter);
    EXPECT_EQ(driver.m_baudBase, c.sets && !c.setError ? 921600 : 0);
    EXPECT_TRUE(reports->Of(Nyx::ReportKind::Alarm).empty());
    const auto statuses = reports->Of(Nyx::ReportKind::Status);
    ASSERT_EQ(statuses.size(), c.status ? 1u : 0u);
    if (c.status) {
      EXPECT_NE(statuses[0].text.find("[/dev/ttyUSB0]"), std::string::npos) << statuses[0].text;
    }
  }
}
