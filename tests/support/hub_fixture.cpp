#include "support/hub_fixture.h"

HubFixture::HubFixture() : wnd(std::make_unique<CSerComm>()) {}

HubFixture::~HubFixture() { wnd.reset(); }

HubStatusFields HubFixture::Status(std::uint16_t id, std::uint64_t deviceTimeUs) {
  HubStatusFields f;
  f.version = 0x0203;
  f.hubId = id;
  f.fixedIp = {static_cast<unsigned char>(10 + id % 100), 1, 168, 192};
  f.altIp = 0xC0A80200u | (10u + id % 100);
  f.altMask = 0xFFFFFF00u;
  f.supplyCentivolts = 2400;
  f.temperature1 = 620;  // 32.0 degrees
  f.sensor1 = 0x8000 | 50;
  f.deviceTimeUs = deviceTimeUs;
  return f;
}

void HubFixture::Hear(std::uint16_t id, std::uint64_t deviceTimeUs) {
  const auto bytes = BuildHubStatus(id, Status(id, deviceTimeUs));
  library->HubHandler()(kHubStatusKind, static_cast<int>(bytes.size()), bytes.data());
}

void HubFixture::Data(std::uint16_t id, const std::vector<SERIAL_BYTE_PACKET>& items) {
  const auto bytes = BuildHubData(id, items);
  library->HubHandler()(kHubDataKind, static_cast<int>(bytes.size()), bytes.data());
}

void HubFixture::Ack(std::uint16_t id, std::uint16_t sequence, std::uint16_t status) {
  const auto bytes = BuildHubSerialAck(id, {sequence, status});
  library->HubHandler()(kHubSerialAckKind, static_cast<int>(bytes.size()), bytes.data());
}

void HubFixture::Tick(int on, int answer) {
  reports->m_msgBoxAnswer = answer;
  wnd->m_bEnableComms = on;
  wnd->OnEnableBtn();
}

std::vector<std::string> HubFixture::Calls(std::size_t from) const {
  const auto lines = library->Lines();
  return std::vector<std::string>(lines.begin() + static_cast<long>(std::min(from, lines.size())), lines.end());
}

std::vector<std::string> HubFixture::Lines(int id) const {
  std::vector<std::string> texts;
  for (const auto& report : reports->Of(Nyx::ReportKind::Status, id)) texts.push_back(report.text);
  return texts;
}
