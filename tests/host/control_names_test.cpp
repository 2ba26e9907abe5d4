// Controls addressed by id and by name: "label" or "label#n" counts only the
// controls that take a value, in panel order; captions are never counted.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/controls.h"

namespace {

struct CtrlNamesCase {
  std::string name;
  int id;  // the control found; 0 = none
};

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

}  // namespace

TEST(ControlNames, LabelAndNumberFindTheNthControlThatTakesAValue) {
  const CtrlNamesCase cases[] = {
      {"Port", 2}, {"Port#2", 3}, {"Port#3", 5}, {"Port#4", 0}, {"Port#1", 0}, {"Port#x", 0},
      {"", 0},     {"A#2", 7},    {"A", 0},      {"...", 8},    {"...#2", 0},
  };
  CtrlNamesCat cat;
  for (const CtrlNamesCase& c : cases) {
    const CECtrl* found = cat.FindCtrl(c.name);
    EXPECT_EQ(found ? found->m_id : 0, c.id) << c.name;
  }
  // Every control that has a name is found by it, and by its id.
  for (const auto& ctrl : cat.GetCtrls()) {
    EXPECT_EQ(cat.FindCtrlById(ctrl->m_id), ctrl.get());
    const std::string name = cat.CtrlName(*ctrl);
    if (ctrl->m_kind == kCtrlLabel || ctrl->m_label.empty()) {
      EXPECT_EQ(name, "") << ctrl->m_id;
    } else {
      EXPECT_EQ(cat.FindCtrl(name), ctrl.get()) << name;
    }
  }
  EXPECT_TRUE(cat.SetCtrlValue("Port#3", "1"));
  EXPECT_EQ(cat.flag, 1);
}

TEST(ControlNames, IdsCountFromOneAndStartAgainWhenThePanelIsCleared) {
  CtrlNamesCat cat;
  std::vector<int> ids;
  for (const auto& ctrl : cat.GetCtrls()) ids.push_back(ctrl->m_id);
  EXPECT_EQ(ids, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
  cat.ClearCtrls();
  EXPECT_EQ(cat.InsText(10, "again")->m_id, 1);
  EXPECT_EQ(cat.FindCtrlById(2), nullptr);
}
