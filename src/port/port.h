// One logical data port: frames received bytes into messages, hands them to its
// decoder and the host, keeps the message rate, the data age and the status
// light, and owns its decoder and encoder. It knows nothing of the line that
// feeds it: a line driver passes bytes with their arrival times and runs the
// age test once per trigger.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "host/nyx_comm.h"
#include "host/runtime_class.h"
#include "host/stat_buf.h"
#include "host/tx_msg.h"
#include "port/codec.h"

class CESetObj;

// Status light values.
enum PortLight : int { kLightRed = 0, kLightYellow = 1, kLightGreen = 2, kLightGrey = 3 };

class CPort : public CObject {
  NYX_DECLARE_DYNCREATE(CPort)
 public:
  // A receive buffer larger than this is never allocated; a larger "RxSize"
  // (from a damaged settings file, say) is cut down to it.
  static constexpr int kMaxRxSize = 1 << 20;

  CPort();
  ~CPort() override;
  CPort(const CPort&) = delete;
  // Ports are never copied: assignment leaves the target as it is.
  CPort& operator=(const CPort&) { return *this; }

  virtual void Settings(CESetObj& obj);
  virtual void SendData(const char* text);
  virtual void SendData(TX_MSG* msg);
  // Frames one byte; 1 when it completed a message. Defined here so that a
  // byte in the middle of a text message costs a store and no call.
  virtual int NewByte(double arrivalTime, unsigned char byte) {
    const int fill = m_fill;
    if (m_sync != 0 && fill > 0 && byte != m_syncChar && byte != '\n' && fill + 1 < m_rxSize &&
        static_cast<std::size_t>(fill) + 1 < m_rxBuffer.size()) {
      m_rxBuffer[static_cast<std::size_t>(fill)] = byte;
      m_fill = fill + 1;
      return 0;
    }
    return FrameByte(arrivalTime, byte);
  }
  // Stores bytes from the front of bytes[0, count) for as long as NewByte
  // would only store them (the middle of a text message, no wrap) and returns
  // how many it took: the same as NewByte on each, minus their arrival times,
  // which only a message's first byte keeps.
  std::size_t TakeMessageBytes(const unsigned char* bytes, std::size_t count);
  // The encode-side counterpart of a complete primary decode.
  virtual void UpdateUIAgeLEDHz(double now);

  void SetDecode();
  void SetEncode();
  void SetBaud();
  void Decode(double time, const std::string& msg);
  void Encode(double time, const std::string& msg);
  // The age test, once per trigger; 1 when the panel should refresh.
  int SetDataAge(double now);
  void Enable(int on);
  void CfgBufSize(int unused, int size);
  void CfgPort() {}

  CNyxComm* m_pOwner = nullptr;
  unsigned m_index = 0;
  int m_echoData = 0;
  unsigned char m_baud = 0;
  unsigned char m_dataBits = 0;
  unsigned char m_parity = 0;
  unsigned char m_stopBits = 0;
  unsigned char m_flowControl = 0;
  int m_sync = 1;  // 1 ASCII, 0 Binary
  unsigned char m_syncChar = 10;
  int m_rx = 1;
  int m_rxSize = 1000;
  int m_fill = 0;
  double m_msgTime = 0.0;
  double m_charTime = 0.0;
  std::timed_mutex m_lock;  // guards replacing and enabling the codecs
  std::unique_ptr<CDecode> m_pDecode;
  std::unique_ptr<CEncode> m_pEncode;
  int m_decode = 0;  // 1-based registry index, 0 = none
  int m_encode = 0;
  int m_bank = 0;
  int m_status = kLightGrey;
  CStatBuf m_rate;
  std::string m_hz = "0.0";
  double m_lastTime = 0.0;
  double m_age = 0.0;
  double m_alarmAge = 2.0;
  std::string m_lastMsg;
  std::string m_comPort;
  int m_format = 0;
  // What the decoder made of the last framed message; empty without a decoder.
  std::optional<int> m_lastResult;

 private:
  // Every byte the inline path above does not take.
  int FrameByte(double arrivalTime, unsigned char byte);
  int FrameAscii(double t, unsigned char byte);
  // A complete primary part: rate, Hz text, last time and the parts light.
  void CountPrimary(double time, int& receivedParts, int expectedParts);
  // Make the receive buffer match "RxSize" again.
  void FitReceiveBuffer();
  // Ends the age alarm of this id when this port, or a port now gone, raised it.
  void EndAgeAlarm(int id);

  std::vector<unsigned char> m_rxBuffer;
  // Storage kept from message to message: the framed text and the raw record's text.
  std::string m_frameText;
  std::string m_rawText;
};
