// One PC COM line: opens and configures the device, runs a reader thread that
// time-stamps received bytes into a queue (or, for an output line, a writer
// thread that sends what the encoder holds), drains the queue into its port on
// the host's trigger, and drives the modem lines. Everything specific to the
// operating system is behind ISerialDevice.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "host/event.h"
#include "host/list_ptr.h"
#include "host/tx_msg.h"
#include "port/port.h"
#include "port/serial_device.h"

class CECombo;
class CECtrl;
class CESetObj;
class ILineOwner;

enum EHandshake : int { kHandshakeOff = 0, kHandshakeHardware = 1, kHandshakeSoftware = 2 };
enum EReadTimeout : int { kReadReturnAtOnce = 0, kReadBlocking = 1 };

// The line's own error codes, where there is no system error to give; system
// errors are errno values.
inline constexpr unsigned kErrorInvalidHandle = 6;
inline constexpr unsigned kErrorInvalidArgument = 0x80070057u;

class CSPort : public CObject {
  NYX_DECLARE_DYNCREATE(CSPort)
 public:
  static constexpr int kQueueSize = 1000;
  static constexpr std::size_t kReadSize = 500;
  // Texts an encoder holds for the writer at most.
  static constexpr std::size_t kMaxOutgoing = 1000;
  // Alarms of lost data, with the line's count so far.
  static constexpr int kLapAlarm = 3061;
  static constexpr int kTextsAlarm = 3062;

  CSPort();
  ~CSPort() override;
  CSPort(const CSPort&) = delete;
  CSPort& operator=(const CSPort&) = delete;

  // "CommPort", the line settings, the port's settings; loading reopens the line.
  virtual void Settings(CESetObj& obj);
  void SetDefaults();
  // Closes the line and, for n > 0, opens COM n.
  void SetComm(int n);
  // What opens the line's device from now on (the termios device by default;
  // tests put scripted devices here). Takes effect at the next SetComm.
  void SetDeviceOpener(SerialDeviceOpener opener) { m_openDevice = std::move(opener); }
  void SetupComm() { SetComm(m_commPort); }
  // Reopens the line with the stored configuration (there is no dialog here).
  void CfgPrt();

  // Trigger thread: age, drain the queue into the port, decoder trigger or the
  // writer's sent flag. 1 when the panel should refresh.
  int OnTrigger(double now, double dt);
  // The reader thread's entry into the queue.
  void NewByte(double time, unsigned char byte);
  // The same for the bytes of one read, all with one time, under one lock.
  void NewBytes(double time, const unsigned char* bytes, std::size_t count);

  void SendData(const char* text);
  void SendData(TX_MSG* msg);
  // Hands text to the encoder for the writer thread; 1 when accepted.
  int SendEncodeData(std::string& text);
  int SendEncodeData(std::list<std::string>& texts);

  // 0 or the error, which is also kept as the last error.
  long SetupHandshaking(int handshake);
  long SetupReadTimeouts(int readTimeout);
  bool SetupPortForHandshaking(bool unused);

  bool SetRTS(bool on);
  bool SetDTR();
  bool ClearDTR();
  bool GetCTS();

  // Fills a COM port combo: "Off", then every port that opens and this line's
  // own. The index of the entry for this line's port ("Off" when it has none).
  int PopulateCOMPortList(CECombo& list, void* unused = nullptr);

  // Tells the reader whether the port decodes (it never touches the decoder
  // itself); runs on every trigger and whenever the decoder changes.
  void RefreshDecoding();

  // Bytes waiting in the queue for the next trigger.
  int GetQueuedCount();

  bool IsOpen() const { return m_device != nullptr; }
  bool IsRunning() const { return m_running.load() != 0; }
  // errno of the last failed open, 0 after a good one.
  int GetOpenError() const { return m_openError; }
  // errno of the last configuration written when the line opened.
  int GetConfigError() const { return m_configError; }

  unsigned m_lastError = 0;
  std::atomic<int> m_running{0};
  CPort m_port;
  int m_commPort = 0;
  std::string m_deviceName;  // the device path of the line, shown in status texts
  SerialDcb m_dcb;
  SerialTimeouts m_timeouts;
  // Panel controls shown only while a COM port is chosen: input rows, output rows.
  CList_Ptr<CECtrl*> m_inputCtrls;
  CList_Ptr<CECtrl*> m_outputCtrls;

  // How long the reader waits for input before reporting a time-out.
  std::chrono::milliseconds m_readWait{1000};
  // How often a line that failed, or never opened, is tried again.
  std::chrono::milliseconds m_retryWait{2000};

 private:
  struct QueueEntry {
    double time = 0.0;
    unsigned char byte = 0;
  };

  // Stops the thread and closes the device.
  void Close();
  // Opens the device of the line's port and starts its thread; false (and
  // the next try due) when it does not open.
  bool OpenLine();
  // Trigger thread: closes a line whose device failed and tries it again
  // when due; a line back ends its alarm.
  void RetryLine();
  // The reader or writer: the device failed (alarm: the one raised, or 0).
  void LineFailed(int alarm);
  // Whether a writer thread takes the encoder's texts.
  bool HasWriter() const;
  // Trigger thread: the lost-data alarms, raised with the count while data
  // is lost, ended at the first trigger without.
  void ReportLosses();
  void StartThread();
  void ReaderThread(ILineOwner* owner, ISerialDevice* device, std::string name);
  void WriterThread(ILineOwner* owner, ISerialDevice* device, unsigned index, std::string name);
  // Queues the bytes of one read under one host time stamp.
  void QueueRead(ILineOwner* owner, const unsigned char* bytes, std::size_t count);
  // Writes a text; the writer thread's last message reaches the port on the next trigger.
  void WriteText(const char* text, ISerialDevice* device, unsigned index, const std::string& name, bool fromWriter);
  void WriteBytes(const char* bytes, int count, ISerialDevice* device, unsigned index, const std::string& name);
  // Clears the last error and reads the modem lines.
  bool ReadModemLines(int& bits);
  bool ChangeModemLine(int line, bool on);
  void ShowPortControls();

  SerialDeviceOpener m_openDevice = &SerialDevice::OpenDevice;
  std::unique_ptr<ISerialDevice> m_device;
  std::thread m_thread;
  CEvent m_wake;
  int m_openError = 0;
  int m_configError = 0;
  int m_openedPort = 0;  // the COM number last set, tried again while lost
  bool m_lost = false;   // no device: it did not open, or failed
  std::chrono::steady_clock::time_point m_retryAt;
  std::atomic<bool> m_failed{false};
  std::atomic<int> m_failAlarm{0};

  std::mutex m_queueLock;
  std::array<QueueEntry, kQueueSize> m_queue{};
  int m_readPos = 0;
  int m_writePos = 0;
  int m_sinceDrain = 0;  // bytes queued since the last drain, modulo a lap
  long m_lapped = 0;     // bytes wiped by laps since the last trigger
  // The entries a trigger takes from the queue; kept, so a drain allocates nothing.
  std::vector<QueueEntry> m_drained;

  long m_textsLost = 0;  // trigger thread, like the counts below
  long m_lappedTotal = 0;
  long m_textsLostTotal = 0;
  bool m_lapAlarmUp = false;
  bool m_textsAlarmUp = false;

  std::mutex m_sentLock;
  int m_sent = 0;
  std::optional<std::string> m_sentText;

  std::atomic<bool> m_decoding{false};
  bool m_reading = false;  // the line's thread is a reader (host thread only)
  // Reads complete only when the read buffer is full (blocking read time-outs).
  std::atomic<bool> m_fillReads{false};
};
