// Hub settings: import, export, and what follows loading the window.
#include <gtest/gtest.h>

#include "host/settings.h"
#include "support/hub_fixture.h"
#include "support/temp_files.h"
#include "support/test_codecs.h"

namespace {

// The settings of a port that travel in the column, as one comparable row.
std::vector<double> Row(const CZepHubPort& p) {
  return {double(p.m_mode), double(p.m_baud), double(p.m_dataBits), double(p.m_parity), double(p.m_stopBits),
          double(p.m_flowControl), double(p.m_sync), double(p.m_syncChar), double(p.m_decode), p.m_alarmAge};
}

}  // namespace

TEST(HubSettings, ImportOfPortBOnlyChangesPortBAndResendsEveryPort) {
  TempDir dir;
  CESet file;
  CESetObj* b = file.AddCol("SerComm")->AddObj("PortB", "No Data");
  int mode = CZepHubPort::kModeBinary;
  unsigned char baud = 8;
  b->Item("Mode", mode);
  b->Item("Baud", baud);
  ASSERT_NE(file.Save(dir / "b.xml"), 0);

  HubFixture hub;
  hub.Enable();
  const auto before = Row(hub.wnd->HubPort(0));
  const std::size_t start = hub.library->Count();
  ASSERT_TRUE(hub.wnd->Import(dir / "b.xml"));
  EXPECT_EQ(hub.wnd->HubPort(1).m_mode, CZepHubPort::kModeBinary);
  EXPECT_EQ(hub.wnd->HubPort(1).m_baud, 8);
  for (unsigned i : {0u, 2u, 7u}) EXPECT_EQ(Row(hub.wnd->HubPort(i)), before) << i;
  const auto calls = hub.library->CallsTo("ZEPHUB_ConfigPort");
  ASSERT_EQ(hub.library->Count() - start, 8u);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(calls[calls.size() - 8 + i].args[1], i);

  EXPECT_FALSE(hub.wnd->Import(dir / "missing.xml"));
  const auto alarms = hub.reports->Of(Nyx::ReportKind::Alarm, 3020);
  ASSERT_EQ(alarms.size(), 1u);
  EXPECT_EQ(alarms[0].text, "SerComm: Cannot read settings file " + (dir / "missing.xml"));
  EXPECT_FALSE(hub.wnd->Export(dir / "no/such/dir.xml"));
}

TEST(HubSettings, ExportThenImportReproducesPortsAndPulse) {
  TempDir dir;
  std::vector<std::vector<double>> rows;
  {
    HubFixture hub;
    for (unsigned i = 0; i < CSerComm::kHubPorts; ++i) {
      CZepHubPort& p = hub.wnd->HubPort(i);
      p.m_mode = i == 5 ? 2 + 1 : static_cast<int>(i % 2);  // F echoes B
      p.m_baud = static_cast<unsigned char>(i);
      p.m_dataBits = static_cast<unsigned char>(1 + i % 4);
      p.m_parity = static_cast<unsigned char>(i % 3);
      p.m_stopBits = static_cast<unsigned char>(1 + i % 3);
      p.m_syncChar = static_cast<unsigned char>('0' + i);
      p.m_alarmAge = 1.5 + i;
      p.m_decode = i == 0 ? DecoderIndex("ZDA") : 0;
      p.SetDecode();
    }
    hub.wnd->m_pps.m_sync = 2;
    hub.wnd->m_pps.m_bank = 3;
    hub.wnd->m_pps.m_alarmAge = 4.5;
    hub.wnd->OnPPSEdge();
    for (unsigned i = 0; i < CSerComm::kHubPorts; ++i) rows.push_back(Row(hub.wnd->HubPort(i)));
    ASSERT_TRUE(hub.wnd->Export(dir / "all.xml"));
  }
  HubFixture hub;
  ASSERT_TRUE(hub.wnd->Import(dir / "all.xml"));
  for (unsigned i = 0; i < CSerComm::kHubPorts; ++i) EXPECT_EQ(Row(hub.wnd->HubPort(i)), rows[i]) << i;
  EXPECT_EQ(hub.wnd->m_pps.m_sync, 2);
  EXPECT_EQ(hub.wnd->m_pps.m_bank, 3);
  EXPECT_EQ(hub.wnd->m_pps.m_alarmAge, 4.5);
}

TEST(HubSettings, LoadingRecomputesCodesThenChecksGpsThenChoosesTheSource) {
  CESet stored;
  {
    HubFixture hub;
    hub.wnd->m_hubId = 7;
    hub.wnd->m_networkOutput = 2;
    hub.wnd->HubPort(0).m_decode = DecoderIndex("GPGGA + ZDA");
    hub.wnd->HubPort(2).m_mode = 2;  // echoes A; stored with the code of no pulse edge
    hub.wnd->HubPort(2).OnModeChange();
    hub.wnd->m_pps.m_sync = 2;
    hub.wnd->Settings(*stored.AddCol("Windows")->AddObj("Hub"));
  }
  CESet loaded;
  ASSERT_NE(loaded.LoadFromString(stored.ToString()), 0);
  HubFixture hub;
  hub.Enable(7);
  hub.wnd->m_commTime.m_pcBuf.Add(false, 1.0, 1001.0);
  const std::size_t start = hub.library->CallsTo("ZEPHUB_ConfigPort").size();
  hub.wnd->Settings(*loaded.GetCol("Windows")->GetObj("Hub"));
  EXPECT_EQ(hub.wnd->m_networkOutput, 2);
  // Every port re-sent as loaded (C with the stored code, after A), then C
  // again with the code of the loaded negative edge.
  std::vector<std::pair<long long, long long>> sent;
  const auto calls = hub.library->CallsTo("ZEPHUB_ConfigPort");
  for (std::size_t k = start; k < calls.size(); ++k) sent.emplace_back(calls[k].args[1], calls[k].args[6]);
  const std::vector<std::pair<long long, long long>> expected = {
      {2, 0x11}, {0, 1}, {1, 1}, {2, 0x11}, {3, 1}, {4, 1}, {5, 1}, {6, 1}, {7, 1}, {2, 0x14}};
  EXPECT_EQ(sent, expected);
  EXPECT_EQ(hub.wnd->m_bGpsInvalid.load(), 1);  // the ZDA port has no data yet
  EXPECT_EQ(hub.wnd->m_commTime.m_bUseGps.load(), 1);
  EXPECT_EQ(hub.wnd->m_commTime.m_pcBuf.GetCount(), 0u);
}

TEST(HubSettings, GpsCheckOfAZdaPort) {
  HubFixture hub;
  hub.wnd->HubPort(1).m_decode = DecoderIndex("ZDA");
  hub.wnd->HubPort(1).SetDecode();
  const struct {
    int timeSource, light, pulseSync, pulseState, invalidAfter;
    bool portResult;
  } cases[] = {{1, kLightGrey, 1, 2, 1, true},  {0, kLightGrey, 1, 2, 1, false}, {0, kLightGreen, 1, 2, 0, true},
               {0, kLightGreen, 0, 2, 1, false}, {0, kLightRed, 2, 1, 0, true},  {1, kLightGreen, 1, 0, 1, true}};
  for (const auto& c : cases) {
    hub.wnd->m_bGpsInvalid = 1;
    hub.wnd->m_timeSource = c.timeSource;
    hub.wnd->HubPort(1).m_status = c.light;
    hub.wnd->m_pps.m_sync = c.pulseSync;
    hub.wnd->m_pps.m_state = c.pulseState;
    hub.wnd->VerifyTimeSource();
    EXPECT_EQ(hub.wnd->m_bGpsInvalid.load(), c.invalidAfter);
    hub.wnd->m_bGpsInvalid = 0;
    EXPECT_EQ(hub.wnd->VerifyTimeSource(1), c.portResult);
    EXPECT_EQ(hub.wnd->VerifyTimeSource(0), c.timeSource == 1);  // no ZDA decoder
  }
}
