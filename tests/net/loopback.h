// Loopback helpers for the UDP tests: free ports, and a peer socket that plays
// the external controller.
#pragma once

#include <algorithm>
#include <chrono>
#include <iterator>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "net/udp_socket.h"
#include "support/pty_pair.h"

namespace loopback {

using namespace std::chrono_literals;

// A port that was free a moment ago (bound with port 0, then released).
inline int FreePort() {
  CUdpSocket probe;
  if (probe.Open(0) != 0) return 0;
  return probe.LocalPort();
}

struct Datagram {
  std::vector<unsigned char> bytes;
  int fromPort = 0;
};

// The next datagram on the socket, or none within the time.
inline std::optional<Datagram> ReceiveWithin(CUdpSocket& socket, std::chrono::milliseconds limit = 2000ms) {
  CWakeFd never;
  if (WaitReadable(socket.Fd(), never, limit) != WaitResult::Readable) return std::nullopt;
  Datagram datagram;
  datagram.bytes.resize(70000);
  UdpAddress from;
  const long got = socket.Receive(datagram.bytes.data(), datagram.bytes.size(), &from);
  if (got < 0) return std::nullopt;
  datagram.bytes.resize(static_cast<std::size_t>(got));
  datagram.fromPort = from.Port();
  return datagram;
}

inline bool SendBytes(CUdpSocket& socket, int port, const std::vector<unsigned char>& bytes) {
  UdpAddress to;
  if (!ResolveUdpAddress("127.0.0.1", port, to)) return false;
  return socket.SendTo(to, bytes.data(), bytes.size()) == static_cast<long>(bytes.size());
}

// A datagram as the controller sends it: header (7 s, 1 000 000 us), text,
// NUL. The length field and the first byte can be forced.
inline std::vector<unsigned char> Packet(const std::string& text, int lengthField = -1, unsigned char first = 0,
                                         bool nul = true) {
  const int n = static_cast<int>(text.size()) + (nul ? 1 : 0);
  const int length = lengthField >= 0 ? lengthField : n + 12;
  const unsigned char header[16] = {first, 0x01, static_cast<unsigned char>(length),
                                    static_cast<unsigned char>(length >> 8), 0, 0, 0x05, 0x01, 7, 0, 0, 0,
                                    0x40, 0x42, 0x0F, 0};
  std::vector<unsigned char> bytes(16 + static_cast<std::size_t>(n), 0);
  std::copy(std::begin(header), std::end(header), bytes.begin());
  std::copy(text.begin(), text.end(), bytes.begin() + 16);
  return bytes;
}

inline std::uint32_t U32At(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24);
}

inline std::uint16_t U16At(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

using ::WaitUntil;

}  // namespace loopback
