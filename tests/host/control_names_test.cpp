// The control model: controls addressed by id and by name ("label" or
// "label#n" counts only the controls that take a value, in panel order), and
// entries written into their bindings.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/controls.h"

namespace {

class CtrlNamesCat : public CCtrlCat {
 public:
  CtrlNamesCat() {
    InsText(50, "Port");                        // 1: a caption
    InsCtrl(kCtrlValue, 30, &value, "Port");    // 2
    InsCtrl(kCtrlCombo, 30, &value, "Port");    // 3
    NewLn();
    InsText(50, "Port");                        // 4: a caption
    InsCtrl(kCtrlCheck, 16, &flag, "Port");     // 5
    InsCtrl(kCtrlLamp, 16, &value, "");         // 6
    InsCtrl(kCtrlValue, 30, &value, "A#2");     // 7: a label with a '#' of its own
    InsBtn(16, "...", [] {});                   // 8
  }
  int value = 0;
  unsigned char flag = 0;
};

TEST(ControlNames, LabelAndNumberFindTheNthControlThatTakesAValue) {
  const std::pair<std::string, int> cases[] = {
      {"Port", 2}, {"Port#2", 3}, {"Port#3", 5}, {"Port#4", 0}, {"Port#1", 0}, {"Port#x", 0},
      {"", 0},     {"A#2", 7},    {"A", 0},      {"...", 8},    {"...#2", 0},
  };
  CtrlNamesCat cat;
  for (const auto& [name, id] : cases) {
    const CECtrl* found = cat.FindCtrl(name);
    EXPECT_EQ(found ? found->m_id : 0, id) << name;
  }
  EXPECT_EQ(cat.CtrlName(*cat.FindCtrlById(5)), "Port#3");
  EXPECT_TRUE(cat.SetCtrlValue("Port#3", "1"));
  EXPECT_EQ(cat.flag, 1);
  cat.ClearCtrls();
  EXPECT_EQ(cat.InsText(10, "again")->m_id, 1);
  EXPECT_EQ(cat.FindCtrlById(2), nullptr);
}

TEST(Controls, EntriesAreWrittenIntoTheBindingThenTheCallbackRuns) {
  CCtrlCat panel;
  int decode = 0;
  int calls = 0;
  auto* combo = static_cast<CECombo*>(panel.InsCtrl(kCtrlCombo, 125, &decode, "Port 1 Decode"));
  combo->AddString("<none>", 0);
  combo->AddString("GPGGA", 1);
  combo->SetCallback([&] { ++calls; });
  EXPECT_TRUE(panel.SetCtrlValue("Port 1 Decode", "GPGGA"));
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
  static_cast<CEVal*>(panel.InsCtrl(kCtrlValue, 30, &age, "Age"))->SetRange(0.0, 60.0);
  panel.InsCtrl(kCtrlText, 120, &host, "Host");
  const std::pair<const char*, const char*> refused[] = {
      {"Sync", "256"}, {"Sync", "1.5"}, {"Age", "61"}, {"Age", "-1"}, {"Missing", "1"}};
  for (const auto& [name, text] : refused) EXPECT_FALSE(panel.SetCtrlValue(name, text)) << name << " " << text;
  EXPECT_TRUE(panel.SetCtrlValue("Sync", "13"));
  EXPECT_TRUE(panel.SetCtrlValue("Age", "3.5"));
  EXPECT_TRUE(panel.SetCtrlValue("Host", "10.0.0.1"));
  EXPECT_EQ(std::make_tuple(syncChar, age, host), std::make_tuple(13, 3.5, "10.0.0.1"));
  EXPECT_EQ(panel.FindCtrl("Age")->GetValueText(), "3.5");
}

}  // namespace
