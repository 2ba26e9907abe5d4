// A hub window over the recording library backend, with captured reports and
// a hand-moved clock. Hub messages are handed to the handler the window
// installed, as the library would.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sonar/hub_messages.h"
#include "sonar/ser_comm.h"
#include "sonar/sonar_recorder.h"
#include "support/capture.h"

class HubFixture {
 public:
  HubFixture();
  ~HubFixture();

  // A status message of hub id (also its identifier at offset 10).
  void Hear(std::uint16_t id, std::uint64_t deviceTimeUs = 0);
  void Data(std::uint16_t id, const std::vector<SERIAL_BYTE_PACKET>& items);
  void Ack(std::uint16_t id, std::uint16_t sequence, std::uint16_t status);
  // Ticks "Enable Comms" as an operator would; the message box answer first.
  void Tick(int on, int answer = 6);
  // The recorded hub calls as text, from the given position on.
  std::vector<std::string> Calls(std::size_t from = 0) const;
  // Texts of the status lines of one id.
  std::vector<std::string> Lines(int id) const;

  static HubStatusFields Status(std::uint16_t id, std::uint64_t deviceTimeUs = 0);

  ScopedReports reports;
  ScopedClock clock{1000.0};
  std::shared_ptr<CZephraRecorder> library = std::make_shared<CZephraRecorder>();
  ScopedZephraBackend backend{library};
  std::unique_ptr<CSerComm> wnd;
};
