#include "support/hub_fixture.h"

void HubFixture::Hear(std::uint16_t id, std::uint64_t deviceTimeUs) {
  const auto host = static_cast<unsigned char>(10 + id % 100);
  const HubStatusFields f{.version = 0x0203, .hubId = id, .fixedIp = {host, 1, 168, 192}, .altIp = 0xC0A80200u | host,
                          .supplyCentivolts = 2400, .temperature1 = 620, .sensor1 = 0x8000 | 50,
                          .deviceTimeUs = deviceTimeUs, .altMask = 0xFFFFFF00u};
  Send(kHubStatusKind, BuildHubStatus(id, f));
}

void HubFixture::Tick(int on, int answer) {
  reports->m_msgBoxAnswer = answer;
  wnd->m_bEnableComms = on;
  wnd->OnEnableBtn();
}

void HubFixture::Enable(std::uint16_t id) {
  wnd->m_hubId = id;
  Hear(id);
  Tick(1);
}

ByteRecorder& HubFixture::Record(unsigned index) {
  CZepHubPort& port = wnd->HubPort(index);
  port.m_mode = CZepHubPort::kModeBinary;
  port.OnModeChange();
  port.m_pDecode = std::make_unique<ByteRecorder>();
  return static_cast<ByteRecorder&>(*port.m_pDecode);
}

std::vector<std::string> HubFixture::Calls(std::size_t from) const {
  const auto lines = library->Lines();
  return {lines.begin() + static_cast<long>(std::min(from, lines.size())), lines.end()};
}

std::vector<std::string> HubFixture::Lines(int id) const {
  std::vector<std::string> texts;
  for (const auto& report : reports->Of(Nyx::ReportKind::Status, id)) texts.push_back(report.text);
  return texts;
}
