// The demonstration sensors speak formats the decoders take: each sensor's
// output, framed and decoded as the demo station does it, gives its records and
// a green light. (The demo run of nyxhost plays them on their lines.)
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>

#include "comms/ecomm.h"
#include "nyxhost/demo_sensors.h"
#include "port/port.h"
#include "support/capture.h"

namespace {

struct SensorCase {
  std::function<std::unique_ptr<SimulatedSensor>()> make;
  const char* decoder;
  unsigned char syncChar;
  std::set<int> kinds;  // record kinds besides the raw lines
};

class Owner : public CEComm {
 public:
  void SendData(unsigned, TX_MSG* msg) override { requests += std::string(msg->m_pData, msg->m_nLength); }
  std::string requests;
};

}  // namespace

TEST(DemoSensors, OutputDecodesGreenWithTheStationsDecoders) {
  ScopedReports reports;
  const double start = 710280930.0;  // a whole second
  ScopedClock clock(start);
  const SensorCase cases[] = {
      {MakeGgaZdaSensor, "GPGGA + ZDA", 10, {1, 7}},
      {MakePpsLine, "PPS", 0, {15}},
      {MakeTss1HehdtSensor, "TSS Std 1 + HEHDT", 10, {2, 3}},
      {MakeOctansSensor, "OctansAll", 10, {1, 2, 3}},
      {MakeSoundSpeedProbe, "Speed of Sound", 10, {6}},
      {MakePressureSensor, "PSea Pressure", 59, {18}},
  };
  for (const auto& c : cases) {
    RecordCollector host;
    Owner owner;
    auto sensor = c.make();
    CPort port;
    port.m_pOwner = &owner;
    port.m_decode = CEComm::FindDecode(c.decoder)->m_index;
    port.SetDecode();
    port.m_syncChar = c.syncChar;
    for (int i = 0; i < 5; ++i) {
      const double t = start + sensor->Phase() + i * std::max(sensor->Period(), 1.0);
      clock->Set(t);
      port.m_pDecode->OnTrigger(t, 1.0);  // a polled sensor gets its request here
      std::string bytes = sensor->Output(t) + sensor->OnRequest(owner.requests);
      owner.requests.clear();
      for (char byte : bytes) port.NewByte(t, static_cast<unsigned char>(byte));
    }
    std::set<int> kinds;
    for (const auto& msg : host.All()) {
      if (msg.kind != 0) kinds.insert(msg.kind);
    }
    EXPECT_EQ(kinds, c.kinds) << sensor->Name();
    EXPECT_EQ(port.m_status, kLightGreen) << sensor->Name() << ": " << port.m_lastMsg;
  }
}

