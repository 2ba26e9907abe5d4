// The sonar-routed port's own parts: defaults, its baud list and character
// time, its routing test and its settings.
#include <gtest/gtest.h>

#include "host/settings.h"
#include "sonar/zep_port.h"

TEST(ZepPort, BaudIndexGivesTheRateAndTheCharacterTime) {
  const struct {
    unsigned char index;
    unsigned rate;
    double charTime;
  } cases[] = {{0, 2400, 10.0 / 2400}, {1, 4800, 10.0 / 4800}, {2, 9600, 10.0 / 9600}, {3, 19200, 10.0 / 19200},
               {4, 38400, 10.0 / 38400}, {5, 57600, 10.0 / 57600}, {6, 115200, 10.0 / 115200},
               {7, 9600, 0.125}, {255, 9600, 0.125}};
  for (const auto& c : cases) {
    CZepPort port;
    port.m_charTime = 0.125;
    port.m_baud = c.index;
    EXPECT_EQ(port.GetBaud(), c.rate) << int(c.index);
    EXPECT_DOUBLE_EQ(port.m_charTime, c.charTime) << int(c.index);
  }
}

TEST(ZepPort, DataComesHereWhenDecodingOrLoopingBack) {
  const std::pair<int, bool> cases[] = {{0, true}, {256, true}, {3, false}, {1, false}, {255, false}};
  for (const auto& [routing, here] : cases) {
    CZepPort port;
    port.m_routing = routing;
    EXPECT_EQ(port.GetRouting(), here) << routing;
  }
}

TEST(ZepPort, SettingsStoreCommPortBeforeThePortsItems) {
  CZepPort port;
  port.m_commPort = 4;
  port.m_baud = 5;
  port.m_routing = 7;
  CESet set;
  CESetObj* obj = set.AddCol("SComm")->AddObj("ZepPort01:Serial00");
  port.Settings(*obj);
  ASSERT_GT(obj->GetItems().size(), 2u);
  EXPECT_EQ(obj->GetItems()[0].key, "CommPort");
  EXPECT_EQ(obj->GetItems()[0].value, "4");
  EXPECT_EQ(obj->GetItems()[1].key, "EchoData");

  CESet loaded;
  ASSERT_TRUE(loaded.LoadFromString(set.ToString()));
  CZepPort back;
  back.Settings(*loaded.GetCol("SComm")->GetObj("ZepPort01:Serial00"));
  EXPECT_EQ(back.m_commPort, 4);
  EXPECT_EQ(back.m_baud, 5);
  EXPECT_EQ(back.m_routing, 0);  // the routing is not stored
}
