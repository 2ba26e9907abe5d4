// Hub ports: mode codes, framing, echo ports, character time, assignment.
#include <gtest/gtest.h>

#include "sonar/zep_hub_port.h"
#include "support/hub_fixture.h"
#include "support/test_codecs.h"

TEST(ZepHubPort, ModeCodeForEveryModeAndPulseEdge) {
  struct Case {
    int mode;
    int sync;                   // framing after the change
    unsigned char code[3];      // owner's pulse edge none, positive, negative
    unsigned char ownerless;    // no hub window owner
  };
  const Case cases[] = {
      {0, 1, {0x01, 0x01, 0x01}, 0x01}, {1, 0, {0x01, 0x01, 0x01}, 0x01},
      {2, 1, {0x11, 0x13, 0x14}, 0x10}, {3, 1, {0x21, 0x23, 0x24}, 0x20},
      {4, 1, {0x31, 0x33, 0x34}, 0x30}, {5, 1, {0x41, 0x43, 0x44}, 0x40},
      {6, 1, {0x51, 0x53, 0x54}, 0x50}, {7, 1, {0x61, 0x63, 0x64}, 0x60},
      {8, 1, {0x71, 0x73, 0x74}, 0x70}, {9, 1, {0x81, 0x83, 0x84}, 0x80},
      {10, 0, {0x01, 0x01, 0x01}, 0x01}, {-1, 0, {0x01, 0x01, 0x01}, 0x01},  // framing unchanged
  };
  HubFixture hub;
  hub.Hear(100);
  hub.Tick(1);
  for (const auto& c : cases) {
    for (int edge = 0; edge < 3; ++edge) {
      hub.wnd->m_pps.m_sync = edge;
      CZepHubPort& port = hub.wnd->HubPort(0);
      port.m_sync = 0;
      port.m_mode = c.mode;
      const std::size_t before = hub.library->Count();
      const bool changes = port.m_flowControl != c.code[edge];
      port.OnModeChange();
      EXPECT_EQ(port.m_flowControl, c.code[edge]) << c.mode << " edge " << edge;
      EXPECT_EQ(port.m_sync, c.sync) << c.mode;
      // The hub hears of a change only.
      EXPECT_EQ(hub.library->Count() - before, changes ? 1u : 0u) << c.mode << " edge " << edge;
      port.OnModeChange();
      EXPECT_EQ(hub.library->Count() - before, changes ? 1u : 0u) << "again " << c.mode;
    }
    CZepHubPort alone;
    alone.m_mode = c.mode;
    alone.OnModeChange();
    EXPECT_EQ(alone.m_flowControl, c.ownerless) << c.mode;
  }
}

TEST(ZepHubPort, EchoPortDropsEveryByteAndHidesItsRow) {
  CZepHubPort port;
  auto recorder = std::make_unique<ByteRecorder>();
  ByteRecorder& seen = *recorder;
  port.m_pDecode = std::move(recorder);
  CECtrl ctrl(kCtrlText, 10, {}, "", "");
  port.m_decodeCtrls.AddTail(&ctrl);
  const struct {
    int mode;
    int result;
    std::size_t seen;
    bool shown;
  } cases[] = {{1, 0, 1, true}, {3, 0, 1, false}, {9, 0, 1, false}, {0, 1, 1, true}, {1, 0, 2, true}};
  for (const auto& c : cases) {
    port.m_mode = c.mode;
    port.OnModeChange();
    EXPECT_EQ(port.NewByte(1.0, '\n'), c.result) << c.mode;
    EXPECT_EQ(seen.bytes.size(), c.seen) << c.mode;
    EXPECT_EQ(ctrl.HasFlag(kCtrlShown), c.shown) << c.mode;
  }
}

TEST(ZepHubPort, CharacterTimeCountsStartDataAndStopBits) {
  const struct {
    unsigned char baud, dataBits, stopBits;
    double time;
  } cases[] = {{5, 4, 1, 10.0 / 9600}, {0, 1, 2, 7.5 / 300}, {9, 3, 3, 10.0 / 115200},
               {4, 0, 0, 1.0 / 4800},  {6, 5, 4, 1.0 / 19200}, {10, 4, 1, 0.5}};
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

TEST(ZepHubPort, AssignmentCopiesModeAndControlsOnly) {
  CZepHubPort a;
  CZepHubPort b;
  CECtrl ctrl(kCtrlText, 10, {}, "", "");
  a.m_mode = 4;
  a.m_baud = 9;
  a.m_decodeCtrls.AddTail(&ctrl);
  b = a;
  EXPECT_EQ(b.m_mode, 4);
  EXPECT_EQ(b.m_baud, 5);
  EXPECT_TRUE(b.m_decodeCtrls.Contains(&ctrl));
}
