// Host windows: receiver lists, delivery, lookup by name, options; reports;
// the control model.
#include <gtest/gtest.h>

#include "host/controls.h"
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

TEST(NyxWnd, InfoMessagesReachEveryReceiverOnce) {
  CountingWnd a, b;
  CNyxWnd::InfoMsg(12006, InfoValue(5));
  EXPECT_EQ(a.infos, 1);
  EXPECT_EQ(b.infos, 1);
  EXPECT_EQ(b.lastKind, 12006);
  EXPECT_EQ(b.lastValue, 5);
}

TEST(NyxWnd, DestroyedWindowsLeaveTheLists) {
  auto victim = std::make_unique<CountingWnd>();
  DestroyingWnd destroyer(victim);  // joins after the victim, so the victim is called first
  CountingWnd* raw = victim.get();
  CNyxWnd::InfoMsg(1, nullptr);
  EXPECT_EQ(victim, nullptr);
  EXPECT_FALSE(CNyxWnd::s_infoRx.Contains(raw));
  EXPECT_FALSE(CNyxWnd::s_trigRx.Contains(raw));

  // A window destroyed before its turn in the same delivery is skipped.
  std::unique_ptr<CountingWnd> later;
  DestroyingWnd first(later);
  later = std::make_unique<CountingWnd>();
  CNyxWnd::InfoMsg(2, nullptr);
  EXPECT_EQ(later, nullptr);
}

TEST(NyxWnd, FindsWindowsByNameAndTakesHostOptions) {
  CountingWnd wnd;
  wnd.SetOption("Name", "Serial 1");
  EXPECT_EQ(CNyxWnd::GetWnd("Serial 1"), &wnd);
  EXPECT_EQ(CNyxWnd::GetWnd("serial 1"), nullptr);
  EXPECT_EQ(wnd.GetOptionFlags(), 2);
  wnd.SetOption("Flags", "0");
  EXPECT_EQ(wnd.GetOptionFlags(), 0);
  wnd.SetOption("Flags", "3x");
  EXPECT_EQ(wnd.GetOptionFlags(), 0);
}

TEST(Reports, GoToTheInstalledSinkFormatted) {
  ScopedReports reports;
  Nyx::Alarm(3010, 3, "The data age of %1.1lfs has been exceeded. Age = %1.1lfs", 2.0, 2.5);
  Nyx::EndAlarm(3010);
  Nyx::Status(9040, 2, "Serial Comms Timeout [%s]", "\\\\.\\COM3");
  Nyx::Comms(1, "%d: %d bytes <%s>", 0, 3, "abc");
  reports->m_msgBoxAnswer = 7;
  EXPECT_EQ(Nyx::MsgBox(4, "Overwrite %s?", "file"), 7);
  const auto all = reports->All();
  ASSERT_EQ(all.size(), 5u);
  EXPECT_EQ(all[0].text, "The data age of 2.0s has been exceeded. Age = 2.5s");
  EXPECT_EQ(all[0].level, 3);
  EXPECT_EQ(all[1].level, -1);
  EXPECT_EQ(all[1].text, "");
  EXPECT_EQ(all[2].text, "Serial Comms Timeout [\\\\.\\COM3]");
  EXPECT_EQ(all[3].channel, 1);
  EXPECT_EQ(all[4].kind, Nyx::ReportKind::MsgBox);
}

TEST(Reports, LongTextsAreNotCut) {
  ScopedReports reports;
  const std::string text(5000, 'x');
  Nyx::Console(0, "%s", text.c_str());
  EXPECT_EQ(reports->All().at(0).text, text);
  EXPECT_EQ(Nyx::ErrorString(2), "No such file or directory");
}

TEST(Controls, EntriesAreWrittenIntoTheBindingThenTheCallbackRuns) {
  CCtrlCat panel;
  int decode = 0;
  int calls = 0;
  panel.InsText(60, "Port 1 Decode");  // a caption of the same text is passed over
  auto* combo = static_cast<CECombo*>(panel.InsCtrl(kCtrlCombo, 125, &decode, "Port 1 Decode"));
  combo->AddString("<none>", 0);
  combo->AddString("GPGGA", 1);
  combo->SetCallback([&] { ++calls; });
  EXPECT_TRUE(panel.SetCtrlValue("Port 1 Decode", "GPGGA"));
  EXPECT_EQ(decode, 1);
  EXPECT_EQ(combo->GetValueText(), "GPGGA");
  EXPECT_TRUE(panel.SetCtrlValue("Port 1 Decode", "0"));
  EXPECT_EQ(decode, 0);
  EXPECT_FALSE(panel.SetCtrlValue("Port 1 Decode", "7"));  // not an entry
  EXPECT_FALSE(panel.SetCtrlValue("Port 1 Decode", "Nope"));
  EXPECT_EQ(calls, 2);

  combo->SetFlag(kCtrlEnabled, false);
  EXPECT_FALSE(panel.SetCtrlValue("Port 1 Decode", "GPGGA"));
  EXPECT_EQ(decode, 0);
}

TEST(Controls, ValuesMustFitTheirTypeAndRange) {
  CCtrlCat panel;
  unsigned char syncChar = 10;
  double age = 2.0;
  std::string host = "localhost";
  panel.InsCtrl(kCtrlValue, 30, &syncChar, "Sync");
  auto* ageCtrl = static_cast<CEVal*>(panel.InsCtrl(kCtrlValue, 30, &age, "Age"));
  ageCtrl->SetRange(0.0, 60.0);
  panel.NewLn();
  CECtrl* hostCtrl = panel.InsCtrl(kCtrlText, 120, &host, "Host");
  EXPECT_EQ(hostCtrl->m_row, 1);

  EXPECT_FALSE(panel.SetCtrlValue("Sync", "256"));
  EXPECT_FALSE(panel.SetCtrlValue("Sync", "1.5"));
  EXPECT_TRUE(panel.SetCtrlValue("Sync", "13"));
  EXPECT_EQ(syncChar, 13);
  EXPECT_FALSE(panel.SetCtrlValue("Age", "61"));
  EXPECT_TRUE(panel.SetCtrlValue("Age", "3.5"));
  EXPECT_EQ(age, 3.5);
  EXPECT_EQ(ageCtrl->GetValueText(), "3.5");
  EXPECT_TRUE(panel.SetCtrlValue("Host", "10.0.0.1"));
  EXPECT_EQ(host, "10.0.0.1");
  EXPECT_FALSE(panel.SetCtrlValue("Missing", "1"));
}
