// The host's task registry and its sonar type classification.
#include <gtest/gtest.h>

#include "host/task.h"

TEST(Tasks, FindsTasksByNameAndReplacesOnAdd) {
  CTask::RemoveAll();
  CTskInf* sonar = CTask::AddTask("Sonar", "Zephra");
  CTask::AddTask("Target", "Target");
  EXPECT_EQ(CTask::GetTask("Sonar"), sonar);
  EXPECT_EQ(CTask::GetTask("Sonar")->GetData()->m_typeName, "Zephra");
  EXPECT_EQ(CTask::GetTask("sonar"), nullptr);
  CTskInf* again = CTask::AddTask("Sonar", "Other");
  EXPECT_EQ(CTask::GetTask("Sonar"), again);
  EXPECT_EQ(CTask::s_tasks.GetCount(), 2u);
  CTask::RemoveAll();
  EXPECT_EQ(CTask::GetTask("Target"), nullptr);
}

TEST(Tasks, SonarTypeCodes) {
  struct Case {
    std::uint16_t code;
    bool is310XR;
    bool isMk2;
  };
  const Case cases[] = {{0x31, true, false}, {0xB1, true, true}, {0x30, false, false},
                        {0x80, false, true}, {0x00, false, false}, {0x131, true, false}};
  for (const auto& c : cases) {
    EXPECT_EQ(CTask::Is310XR(c.code), c.is310XR) << c.code;
    EXPECT_EQ(CTask::IsMk2Platform(c.code), c.isMk2) << c.code;
  }
}
