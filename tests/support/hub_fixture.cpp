#include "support/hub_fixture.h"

void HubFixture::Hear(std::uint16_t id, std::uint64_t deviceTimeUs) {
  HubStatusFields f;
  f.version = 0x0203;
  f.hubId = id;
  f.fixedIp = {static_cast<unsigned char>(10 + id % 100), 1, 168, 192};
  f.altIp = 0xC0A80200u | (10u + id % 100);
  f.altMask = 0xFFFFFF00u;
  f.supplyCentivolts = 2400;
  f.temperature1 = 620;
  f.sensor1 = 0x8000 | 50;
  f.deviceTimeUs = deviceTimeUs;
  Send(kHubStatusKind, BuildHubStatus(id, f));
}

void HubFixture::Send(int kind, const std::vector<unsigned char>& message) {
  library->HubHandler()(kind, static_cast<int>(message.size()), message.data());
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
  auto recorder = std::make_unique<ByteRecorder>();
  ByteRecorder& seen = *recorder;
  port.m_pDecode = std::move(recorder);
  return seen;
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
