// Hub ports: mode codes, framing, echo ports, character time, assignment.
#include <gtest/gtest.h>

#include "support/hub_fixture.h"

TEST(ZepHubPort, ModeCodeForEveryModeAndPulseEdge) {
  const struct {
    int mode, sync;             // framing after the change
    unsigned char code[3];      // owner's pulse edge none, positive, negative
    unsigned char ownerless;    // no hub window owner
  } cases[] = {
      {0, 1, {0x01, 0x01, 0x01}, 0x01}, {1, 0, {0x01, 0x01, 0x01}, 0x01}, {2, 1, {0x11, 0x13, 0x14}, 0x10},
      {3, 1, {0x21, 0x23, 0x24}, 0x20}, {4, 1, {0x31, 0x33, 0x34}, 0x30}, {5, 1, {0x41, 0x43, 0x44}, 0x40},
      {6, 1, {0x51, 0x53, 0x54}, 0x50}, {7, 1, {0x61, 0x63, 0x64}, 0x60}, {8, 1, {0x71, 0x73, 0x74}, 0x70},
      {9, 1, {0x81, 0x83, 0x84}, 0x80}, {10, 0, {0x01, 0x01, 0x01}, 0x01}, {-1, 0, {0x01, 0x01, 0x01}, 0x01},
  };  // modes 10 and -1 leave the framing as it was (0)
  HubFixture hub;
  hub.Enable();
  CZepHubPort& port = hub.wnd->HubPort(0);
  for (const auto& c : cases) {
    for (int edge = 0; edge < 3; ++edge) {
      hub.wnd->m_pps.m_sync = edge;
      port.m_sync = 0;
      port.m_mode = c.mode;
      const std::size_t before = hub.library->Count();
      const std::size_t sent = port.m_flowControl != c.code[edge] ? 1 : 0;  // only a change reaches the hub
      port.OnModeChange();
      port.OnModeChange();
      EXPECT_EQ(port.m_flowControl, c.code[edge]) << c.mode << " edge " << edge;
      EXPECT_EQ(port.m_sync, c.sync) << c.mode;
      EXPECT_EQ(hub.library->Count() - before, sent) << c.mode << " edge " << edge;
    }
    CZepHubPort alone;
    alone.m_mode = c.mode;
    alone.OnModeChange();
    EXPECT_EQ(alone.m_flowControl, c.ownerless) << c.mode;
  }
}

TEST(ZepHubPort, EchoPortDropsEveryByte) {
  HubFixture hub;
  ByteRecorder& seen = hub.Record(0);
  CZepHubPort& port = hub.wnd->HubPort(0);
  for (int mode : {3, 9, 1}) {
    port.m_mode = mode;
    EXPECT_EQ(port.NewByte(1.0, static_cast<unsigned char>(mode)), 0);
  }
  EXPECT_EQ(seen.bytes, std::vector<unsigned char>{1});
}

TEST(ZepHubPort, CharacterTimeCountsStartDataAndStopBits) {
  const struct {
    unsigned char baud, dataBits, stopBits;
    double time;
  } cases[] = {{5, 4, 1, 10.0 / 9600}, {0, 1, 2, 7.5 / 300}, {9, 3, 3, 10.0 / 115200},
               {4, 0, 0, 1.0 / 4800},  {6, 5, 4, 1.0 / 19200}, {10, 4, 1, 0.5}};  // rate index 10: unchanged
  for (const auto& c : cases) {
    CZepHubPort port;
    port.m_charTime = 0.5;
    port.m_baud = c.baud;
    port.m_dataBits = c.dataBits;
    port.m_stopBits = c.stopBits;
    port.SetCharTime();
    EXPECT_DOUBLE_EQ(port.m_charTime, c.time) << int(c.baud);
  }
}
