// Search for EM1000/EM3000 binary attitude frames in a byte stream. Several
// binary decoders share it: a frame found becomes the text "roll,pitch,heave,
// heading", which their DecodeMsg then reads.
#pragma once

#include <array>
#include <string>

// Frame: 0x90 0x90, roll, pitch, heave (int16 LE, 1/100 degree or cm), heading
// (uint16 LE, 1/100 degree).
//   90 90 10 00 F0 FF 05 00 28 23  ->  "16,-16,5,9000"
// The last 32 bytes are kept with their times; when the window fills without
// a frame it starts again empty, so a frame must complete within it.
class AttitudeFrameSearch {
 public:
  static constexpr int kWindow = 32;
  static constexpr int kFrameSize = 10;

  // Store, then Search: 1 when this byte completed a frame; msg then holds its
  // text and msgTime the time of its first byte.
  int NewByte(double time, unsigned char byte, std::string& msg, double& msgTime);

  // Keeps the byte and its time; the window starts again empty once full.
  void Store(double time, unsigned char byte);
  // 1 when the last ten stored bytes are a frame (then the window is emptied);
  // else 0, leaving msg and msgTime untouched.
  int Search(std::string& msg, double& msgTime);

  void Reset() { m_count = 0; }
  // Bytes in the window.
  int Count() const { return m_count; }

 private:
  std::array<unsigned char, kWindow> m_bytes{};
  std::array<double, kWindow> m_times{};
  int m_count = 0;
};
