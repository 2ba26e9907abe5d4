// nyxdecode: decode a capture offline. Feeds the bytes of a file (or standard
// input) into one port with the chosen decoder, at the arrival times a line of
// the given baud rate would give them, and writes every record as a JSON line.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "comms/ecomm.h"
#include "host/records.h"
#include "host/report.h"
#include "number_checks.h"
#include "port/port.h"

namespace {

struct Options {
  bool list = false;
  std::string decoder;
  std::string mode = "ascii";
  int syncChar = 10;
  int bank = 0;
  int rxSize = 1000;
  double baud = 9600;
  double start = 1000.0;
  double triggerHz = 20.0;
  bool events = false;
  std::string file = "-";
};

void WriteLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
}

// The port's owner: prints what reaches the host and what the decoder sends.
class DecodeSession : public CEComm {
 public:
  explicit DecodeSession(bool events) : m_events(events) { Join(s_snsrRx, this); }
  ~DecodeSession() override { LeaveReceiverLists(); }

  void OnSnsrMsg(int kind, void* record) override {
    const auto& snsr = *static_cast<const CSnsr*>(record);
    if (kind == kSnsrInf) m_framedText = static_cast<const CSnsrInf&>(snsr).m_text;
    WriteRecord(kind, snsr);
  }

  // The text of the last framed message, before the decoder rewrote it for display.
  const std::string& FramedText() const { return m_framedText; }

  void OnInfoMsg(int kind, void* data) override {
    if (kind == kInfoTargetData || kind == kInfoStallPing) {
      WriteRecord(kind, *static_cast<const CSnsr*>(data));
    }
    CEComm::OnInfoMsg(kind, data);
  }

  void SendData(unsigned, const char* text) override {
    if (m_events) WriteLine(nlohmann::ordered_json{{"event", "send"}, {"text", text}}.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
  }

  void SendData(unsigned, TX_MSG* msg) override {
    if (!m_events || !msg || !msg->m_pData || msg->m_nLength <= 0) return;
    std::string hex;
    for (int i = 0; i < msg->m_nLength; ++i) {
      char byte[4];
      std::snprintf(byte, sizeof byte, "%s%02X", i ? " " : "", static_cast<unsigned char>(msg->m_pData[i]));
      hex += byte;
    }
    WriteLine(nlohmann::ordered_json{{"event", "send"}, {"hex", hex}}.dump());
  }

 private:
  // Written from one reused buffer: no allocation once it has grown.
  void WriteRecord(int kind, const CSnsr& record) {
    m_line.clear();
    AppendRecordJsonLine(m_line, kind, record);
    m_line += '\n';
    std::fwrite(m_line.data(), 1, m_line.size(), stdout);
  }

  bool m_events;
  std::string m_framedText;
  std::string m_line;
};

void WriteMessageEvent(const CPort& port, const std::string& text) {
  nlohmann::ordered_json event;
  event["event"] = "message";
  event["text"] = text;
  event["status"] = port.m_lastResult ? nlohmann::ordered_json(*port.m_lastResult) : nullptr;
  event["light"] = port.m_status;
  event["hz"] = port.m_hz;
  WriteLine(event.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

void ListRegistries() {
  for (const auto& entry : CEComm::s_decodes) std::printf("%d\t%s\n", entry->m_index, entry->m_name.c_str());
  for (const auto& entry : CEComm::s_encodes) std::printf("%d\t%s\n", entry->m_index, entry->m_name.c_str());
}

int Run(const Options& options) {
  std::FILE* input = stdin;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> owned(nullptr, std::fclose);
  if (options.file != "-") {
    owned.reset(std::fopen(options.file.c_str(), "rb"));
    if (!owned) {
      std::fprintf(stderr, "nyxdecode: %s: %s\n", options.file.c_str(), std::strerror(errno));
      return 1;
    }
    input = owned.get();
  }

  static char outputBuffer[1 << 16];
  std::setvbuf(stdout, outputBuffer, _IOFBF, sizeof outputBuffer);
  DecodeSession session(options.events);
  CPort port;
  port.m_pOwner = &session;
  port.m_sync = options.mode == "ascii" ? 1 : 0;
  port.m_syncChar = static_cast<unsigned char>(options.syncChar);
  port.m_bank = options.bank;
  port.CfgBufSize(0, options.rxSize);
  port.m_decode = CEComm::FindDecode(options.decoder)->m_index;
  port.SetDecode();

  const double secondsPerByte = 10.0 / options.baud;
  const double triggerPeriod = options.triggerHz > 0 ? 1.0 / options.triggerHz : 0.0;
  double nextTrigger = options.start;
  double lastTrigger = options.start;
  unsigned long long index = 0;
  unsigned char buffer[65536];
  std::size_t count = 0;
  const auto arrivalOf = [&](unsigned long long byteIndex) {
    return options.start + static_cast<double>(byteIndex) * secondsPerByte;
  };
  // How many bytes from byteIndex on (at most limit) arrive before the next trigger is due.
  const auto bytesBeforeTrigger = [&](unsigned long long byteIndex, std::size_t limit) -> std::size_t {
    if (triggerPeriod <= 0) return limit;
    if (!(arrivalOf(byteIndex) < nextTrigger)) return 0;
    const double guess = std::floor((nextTrigger - arrivalOf(byteIndex)) / secondsPerByte);
    std::size_t n = guess >= static_cast<double>(limit) ? limit : static_cast<std::size_t>(std::max(guess, 0.0));
    while (n > 0 && !(arrivalOf(byteIndex + n - 1) < nextTrigger)) --n;
    while (n < limit && arrivalOf(byteIndex + n) < nextTrigger) ++n;
    return n;
  };
  while ((count = std::fread(buffer, 1, sizeof buffer, input)) > 0) {
    for (std::size_t i = 0; i < count;) {
      const double arrival = arrivalOf(index);
      // The decoder's trigger hook runs in capture time, as the host would run it.
      while (triggerPeriod > 0 && nextTrigger <= arrival) {
        port.m_pDecode->OnTrigger(nextTrigger, nextTrigger - lastTrigger);
        lastTrigger = nextTrigger;
        nextTrigger += triggerPeriod;
      }
      if (port.NewByte(arrival, buffer[i]) && options.events) WriteMessageEvent(port, session.FramedText());
      ++i;
      ++index;
      // The rest of a message up to its end (or the next trigger) is only stored: in one go.
      const std::size_t taken = port.TakeMessageBytes(buffer + i, bytesBeforeTrigger(index, count - i));
      i += taken;
      index += taken;
    }
    // Reports go out once per block read.
    Nyx::FlushReports();
  }
  if (std::ferror(input)) {
    std::fprintf(stderr, "nyxdecode: %s: read error: %s\n", options.file == "-" ? "standard input" : options.file.c_str(),
                 std::strerror(errno));
    return 1;
  }
  std::fflush(stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  CLI::App app{"Decode a capture of one sensor line into JSON records.", "nyxdecode"};
  app.add_flag("--list", options.list, "Print the decoder and encoder registries and exit");
  app.add_option("--decoder", options.decoder, "Decoder registry name or 1-based index");
  app.add_option("--mode", options.mode, "Framing: ascii (messages end at the sync character) or binary")
      ->check(CLI::IsMember({"ascii", "binary"}))
      ->capture_default_str();
  app.add_option("--sync-char", options.syncChar, "Message terminator in ascii mode")
      ->check(CLI::Range(0, 255))
      ->capture_default_str();
  app.add_option("--bank", options.bank, "Sensor bank passed to the decoder")->capture_default_str();
  app.add_option("--rx-size", options.rxSize, "Receive buffer size in bytes")
      ->check(CLI::Range(0, CPort::kMaxRxSize))
      ->capture_default_str();
  app.add_option("--baud", options.baud, "Byte i arrives at start + i * 10 / baud seconds")
      ->check(kAboveZero.description("POSITIVE"))
      ->capture_default_str();
  app.add_option("--start", options.start, "Arrival time of the first byte, host seconds")->capture_default_str();
  app.add_option("--trigger-hz", options.triggerHz,
                 "Rate of the decoder's trigger hook in capture time (polled sensors send requests on it); 0 = none")
      ->check(kZeroOrMore.description("NONNEGATIVE"))
      ->capture_default_str();
  app.add_flag("--events", options.events, "Also write message and send events");
  app.add_option("FILE", options.file, "Capture to decode; - or absent for standard input");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::cout << app.help();
    return 0;
  } catch (const CLI::ParseError& error) {
    std::fprintf(stderr, "nyxdecode: %s\n", error.what());
    return 2;
  }

  CEComm::InitDecode();
  CEComm::InitEncode();
  if (options.list) {
    ListRegistries();
    return 0;
  }
  if (options.decoder.empty()) {
    std::fprintf(stderr, "nyxdecode: --decoder is required (nyxdecode --list prints the names)\n");
    return 2;
  }
  if (!CEComm::FindDecode(options.decoder)) {
    std::fprintf(stderr, "nyxdecode: unknown decoder '%s' (nyxdecode --list prints the names)\n",
                 options.decoder.c_str());
    return 2;
  }
  return Run(options);
}
