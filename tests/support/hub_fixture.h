// A hub window over the recording library backend, with captured reports and
// a hand-moved clock. Hub messages go to the handler the window installed.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sonar/hub_messages.h"
#include "sonar/ser_comm.h"
#include "sonar/sonar_recorder.h"
#include "support/capture.h"
#include "support/test_codecs.h"

class HubFixture {
 public:
  // A status message of hub id: address 192.168.2.(10 + id % 100), 24 V,
  // 32.0 degrees, sensor 12.50.
  void Hear(std::uint16_t id, std::uint64_t deviceTimeUs = 0);
  void Send(int kind, const std::vector<unsigned char>& m) { library->HubHandler()(kind, int(m.size()), m.data()); }
  // Ticks "Enable Comms" as an operator would, the message box answered so.
  void Tick(int on, int answer = 6);
  // Hub id selected, heard, and comms switched on.
  void Enable(std::uint16_t id = 100);
  // Port index in Binary mode with a decoder that keeps its bytes.
  ByteRecorder& Record(unsigned index);
  // The recorded calls as text from position from on, and the status lines of one id.
  std::vector<std::string> Calls(std::size_t from) const;
  std::vector<std::string> Lines(int id) const;

  ScopedReports reports;
  ScopedClock clock{1000.0};
  std::shared_ptr<CZephraRecorder> library = std::make_shared<CZephraRecorder>();
  ScopedZephraBackend backend{library};
  std::unique_ptr<CSerComm> wnd = std::make_unique<CSerComm>();
};
