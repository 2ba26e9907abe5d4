// Helpers of the net tests: loopback datagrams, controller packets, tables in tests/data/net.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "net/udp_socket.h"
#include "support/pty_pair.h"

namespace loopback {

inline bool SendBytes(CUdpSocket& socket, int port, const std::vector<unsigned char>& bytes,
                      const std::string& address = "127.0.0.1") {
  UdpAddress to;
  if (!ResolveUdpAddress(address, port, to)) return false;
  return socket.SendTo(to, bytes.data(), bytes.size()) == static_cast<long>(bytes.size());
}

// A datagram as the controller sends it: header (7 s, 1 000 000 us), then the
// payload as given. The length field can be forced.
inline std::vector<unsigned char> Frame(const std::string& payload, int lengthField = -1) {
  const int length = lengthField >= 0 ? lengthField : static_cast<int>(payload.size()) + 12;
  const unsigned char header[16] = {0, 0x01, static_cast<unsigned char>(length),
                                    static_cast<unsigned char>(length >> 8), 0, 0, 0x05, 0x01, 7, 0, 0, 0,
                                    0x40, 0x42, 0x0F, 0};
  std::vector<unsigned char> bytes(16 + payload.size());
  std::copy(std::begin(header), std::end(header), bytes.begin());
  std::copy(payload.begin(), payload.end(), bytes.begin() + 16);
  return bytes;
}

// A text with its NUL, framed.
inline std::vector<unsigned char> Packet(const std::string& text) { return Frame(text + '\0'); }

// C escapes (\xNN \r \n \0 \\), and \{c*N} for c repeated N times.
inline std::string Unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto one = [&] {
      if (text[i] != '\\') return text[i];
      const char c = text[++i];
      if (c == 'x') {
        i += 2;
        return static_cast<char>(std::stoi(text.substr(i - 1, 2), nullptr, 16));
      }
      return c == 'r' ? '\r' : c == 'n' ? '\n' : c == '0' ? '\0' : c;
    };
    if (text.compare(i, 2, "\\{") != 0) {
      out += one();
      continue;
    }
    i += 2;
    const char c = one();
    const std::size_t close = text.find('}', i);
    out.append(std::stoul(text.substr(i + 2, close - i - 2)), c);
    i = close;
  }
  return out;
}

// The rows of tests/data/net/NAME: fields between '|', blanks around them dropped; '#' lines are comments.
inline std::vector<std::vector<std::string>> ReadTable(const std::string& name) {
  std::ifstream file(NYX_SOURCE_DIR "/tests/data/net/" + name);
  EXPECT_TRUE(file) << name;
  std::vector<std::vector<std::string>> rows;
  for (std::string line; std::getline(file, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string>& row = rows.emplace_back();
    std::istringstream fields(line + ' ');  // the blank gives a row ending in '|' its empty last field
    for (std::string field; std::getline(fields, field, '|');) {
      const std::size_t first = field.find_first_not_of(' ');
      const std::size_t end = field.find_last_not_of(' ') + 1;
      row.push_back(first == std::string::npos ? "" : field.substr(first, end - first));
    }
  }
  return rows;
}

}  // namespace loopback
