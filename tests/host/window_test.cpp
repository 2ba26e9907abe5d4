// Host windows: receiver lists and delivery; reports.
#include <gtest/gtest.h>

#include "host/nyx_wnd.h"
#include "host/report.h"
#include "support/capture.h"

namespace {

class CountingWnd : public CNyxWnd {
 public:
  CountingWnd() {
    Join(s_infoRx, this);
    Join(s_trigRx, this);
  }
  ~CountingWnd() override { LeaveReceiverLists(); }
  void OnInfoMsg(int kind, void* data) override {
    lastKind = kind;
    lastValue = InfoValueOf(data);
    ++infos;
  }
  int infos = 0;
  int lastKind = 0;
  long lastValue = 0;
};

// A receiver that destroys another window during its own delivery.
class DestroyingWnd : public CNyxWnd {
 public:
  explicit DestroyingWnd(std::unique_ptr<CountingWnd>& victim) : m_victim(victim) { Join(s_infoRx, this); }
  ~DestroyingWnd() override { LeaveReceiverLists(); }
  void OnInfoMsg(int, void*) override { m_victim.reset(); }

 private:
  std::unique_ptr<CountingWnd>& m_victim;
};

}  // namespace

TEST(NyxWnd, InfoMessagesReachEveryReceiverOnceAndDestroyedWindowsLeave) {
  CountingWnd a;
  auto victim = std::make_unique<CountingWnd>();
  DestroyingWnd destroyer(victim);  // joins after the victim, so the victim is called first
  CountingWnd* raw = victim.get();
  CNyxWnd::InfoMsg(12006, InfoValue(5));
  EXPECT_EQ(std::make_tuple(a.infos, a.lastKind, a.lastValue), std::make_tuple(1, 12006, 5L));
  EXPECT_EQ(victim, nullptr);
  EXPECT_FALSE(CNyxWnd::s_infoRx.Contains(raw));
  EXPECT_FALSE(CNyxWnd::s_trigRx.Contains(raw));

  // A window destroyed before its turn in the same delivery is skipped.
  std::unique_ptr<CountingWnd> later;
  DestroyingWnd first(later);
  later = std::make_unique<CountingWnd>();
  CNyxWnd::InfoMsg(2, nullptr);
  EXPECT_EQ(later, nullptr);
  EXPECT_EQ(a.infos, 2);
}

TEST(Reports, GoToTheInstalledSinkFormatted) {
  ScopedReports reports;
  Nyx::Alarm(3010, 3, "The data age of %1.1lfs has been exceeded. Age = %1.1lfs", 2.0, 2.5);
  Nyx::EndAlarm(3010);
  Nyx::Comms(1, "%s", std::string(5000, 'x').c_str());  // long texts are not cut
  const auto all = reports->All();
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0].text, "The data age of 2.0s has been exceeded. Age = 2.5s");
  EXPECT_EQ(all[0].level, 3);
  EXPECT_EQ(std::make_tuple(all[1].text, all[1].level), std::make_tuple("", -1));
  EXPECT_EQ(std::make_tuple(all[2].text, all[2].channel), std::make_tuple(std::string(5000, 'x'), 1));
}
