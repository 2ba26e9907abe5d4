// Where the sonar heads' traffic enters the module: the serial-data messages,
// the status packets and the pulse-per-second edges that a head timestamps.
// The serial comms window implements it; the simulator and the host's sonar
// task call it, from their own threads.
#pragma once

#include <cstdint>

class CZepNetMsg;
class CZepStatusPacket;

class ISonarSink {
 public:
  virtual ~ISonarSink() = default;

  // One serial-data message of `length` bytes.
  virtual void ZepRxData(int length, const CZepNetMsg* msg) = 0;
  // One status packet.
  virtual void ZepRxStatus(const CZepStatusPacket* packet) = 0;
  // A pulse-per-second edge on the head's pulse input, stamped with the head's
  // clock: edge 0 positive, 1 negative, 2 an error report. The serial-data
  // message has no item for edges, so they come separately; the receiver queues
  // them as byte packets of port 0xFF beside the serial bytes.
  virtual void OnPpsEdge(std::uint16_t sonarId, std::uint64_t deviceMicroseconds, unsigned char edge) = 0;
};
