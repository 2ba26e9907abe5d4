#include "nyxhost/demo_sensors.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>

#include "host/host_time.h"
#include "sonar/sensor_source.h"

std::string NmeaSentence(const std::string& body) {
  unsigned char sum = 0;
  for (char ch : body) sum ^= static_cast<unsigned char>(ch);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
  return "$" + body + tail;
}

namespace {

std::string Format(const char* format, auto... args) {
  char text[160];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

// A slow swell: amplitude times a sine of the given period.
double Swell(double t, double amplitude, double period) { return amplitude * std::sin(2.0 * M_PI * t / period); }

class GgaZdaSensor : public SimulatedSensor {
 public:
  GgaZdaSensor() : SimulatedSensor("GPS GGA + ZDA", 1.0) {}
  double Phase() const override { return 0.1; }  // the sentences follow the pulse
  std::string Output(double t) override {
    const SYSTEMTIME utc = HostTimeToSystemTime(std::floor(t));
    const std::string hms = Format("%02u%02u%02u.00", unsigned{utc.wHour}, unsigned{utc.wMinute}, unsigned{utc.wSecond});
    const double drift = std::fmod(t, 3600.0) * 1e-4;  // drifting slowly north-east
    return NmeaSentence(Format("GPGGA,%s,%09.4f,N,%010.4f,E,1,08,0.9,%.1f,M,46.9,M,,", hms.c_str(), 4807.038 + drift,
                               1131.000 + drift, 545.4 + Swell(t, 0.3, 60.0))) +
           NmeaSentence(Format("GPZDA,%s,%02u,%02u,%04u,00,00", hms.c_str(), unsigned{utc.wDay}, unsigned{utc.wMonth},
                               unsigned{utc.wYear}));
  }
};

class PpsLine : public SimulatedSensor {
 public:
  PpsLine() : SimulatedSensor("PPS", 1.0) {}
  std::string Output(double) override { return std::string(1, '\0'); }
};

class Tss1HehdtSensor : public SimulatedSensor {
 public:
  Tss1HehdtSensor() : SimulatedSensor("TSS 1 + HEHDT", 0.05) {}
  std::string Output(double t) override {
    const double heading = std::fmod(120.0 + Swell(t, 5.0, 90.0) + 360.0, 360.0);
    return NmeaSentence(Format("HEHDT,%.2f,T", heading)) +
           Tss1Sentence(Swell(t, 0.45, 8.0), Swell(t, 2.5, 6.5), Swell(t, 1.2, 9.0));
  }
};

class OctansSensor : public SimulatedSensor {
 public:
  OctansSensor() : SimulatedSensor("Octans", 0.1) {}
  std::string Output(double t) override {
    const double pitch = Swell(t, 1.5, 9.0), roll = Swell(t, 3.0, 6.5), heave = Swell(t, 0.4, 8.0);
    const double heading = std::fmod(45.0 + Swell(t, 3.0, 120.0) + 360.0, 360.0);
    // The heading sentence closes each cycle, after the five others.
    return NmeaSentence("PHINF,00000000") +
           NmeaSentence(Format("PHTRH,%.2f,%c,%.2f,%c,%.2f,%c", std::fabs(pitch), pitch < 0 ? 'P' : 'M', std::fabs(roll),
                               roll < 0 ? 'B' : 'T', std::fabs(heave), heave < 0 ? 'O' : 'U')) +
           NmeaSentence(Format("PHTRO,%.2f,%c,%.2f,%c", std::fabs(pitch), pitch < 0 ? 'P' : 'M', std::fabs(roll),
                               roll < 0 ? 'B' : 'T')) +
           NmeaSentence(Format("PHLIN,%.3f,%.3f,%.3f", Swell(t, 0.2, 7.0), Swell(t, 0.1, 5.0), heave)) +
           NmeaSentence(Format("PHSPD,%.3f,%.3f,%.3f", 2.0 + Swell(t, 0.1, 7.0), Swell(t, 0.05, 5.0), Swell(t, 0.3, 8.0))) +
           NmeaSentence(Format("HEHDT,%.2f,T", heading));
  }
};

class SoundSpeedProbe : public SimulatedSensor {
 public:
  SoundSpeedProbe() : SimulatedSensor("Speed of sound", 0.5) {}
  std::string Output(double t) override { return Format(" %.2f\r\n", 1500.0 + Swell(t, 2.5, 300.0)); }
};

// Answers the binary MEASURE request with its reply, framed by ';'.
class PressureSensor : public SimulatedSensor {
 public:
  PressureSensor() : SimulatedSensor("Pressure", 0.0) {}
  std::string Output(double) override { return {}; }
  std::string OnRequest(const std::string& bytes) override {
    m_pending += bytes;
    if (m_pending.find("MEASURE") == std::string::npos) {
      if (m_pending.size() > 64) m_pending.clear();
      return {};
    }
    m_pending.clear();
    const double t = TmSync::GetTm();
    return Format("MEASURE -P %.4f -PU bar -T %.2f -TU \xB0" "C OK;", 10.1325 + Swell(t, 0.05, 30.0),
                  21.5 + Swell(t, 0.2, 600.0));
  }

 private:
  std::string m_pending;
};

}  // namespace

std::unique_ptr<SimulatedSensor> MakeGgaZdaSensor() { return std::make_unique<GgaZdaSensor>(); }
std::unique_ptr<SimulatedSensor> MakePpsLine() { return std::make_unique<PpsLine>(); }
std::unique_ptr<SimulatedSensor> MakeTss1HehdtSensor() { return std::make_unique<Tss1HehdtSensor>(); }
std::unique_ptr<SimulatedSensor> MakeOctansSensor() { return std::make_unique<OctansSensor>(); }
std::unique_ptr<SimulatedSensor> MakeSoundSpeedProbe() { return std::make_unique<SoundSpeedProbe>(); }
std::unique_ptr<SimulatedSensor> MakePressureSensor() { return std::make_unique<PressureSensor>(); }

SensorPlayer::~SensorPlayer() { Stop(); }

std::string SensorPlayer::Add(std::unique_ptr<SimulatedSensor> sensor) {
  Line line;
  line.sensor = std::move(sensor);
  line.pty = std::make_unique<PseudoTerminal>();
  std::string path = line.pty->SlavePath();
  m_lines.push_back(std::move(line));
  return path;
}

void SensorPlayer::Start() {
  if (m_thread.joinable()) return;
  m_stopFd = eventfd(0, EFD_CLOEXEC);
  const double now = TmSync::GetTm();
  for (Line& line : m_lines) line.nextDue = std::floor(now) + 1.0 + line.sensor->Phase();
  m_thread = std::thread([this] { Run(); });
}

void SensorPlayer::Stop() {
  if (!m_thread.joinable()) return;
  const std::uint64_t one = 1;
  (void)!write(m_stopFd, &one, sizeof one);
  m_thread.join();
  close(m_stopFd);
  m_stopFd = -1;
}

void SensorPlayer::Run() {
  std::vector<pollfd> fds;
  for (;;) {
    const double now = TmSync::GetTm();
    double nextDue = now + 1.0;
    for (Line& line : m_lines) {
      if (line.sensor->Period() <= 0.0 || !line.pty->IsOpen()) continue;
      if (line.nextDue <= now) {
        // A full line buffer (nobody reading) drops the output, as a real line would.
        line.pty->Write(line.sensor->Output(now), std::chrono::milliseconds(0));
        // Keep the cadence; after a stall skip ahead rather than burst.
        line.nextDue += line.sensor->Period();
        if (line.nextDue <= now) line.nextDue = now + line.sensor->Period();
      }
      nextDue = std::min(nextDue, line.nextDue);
    }

    fds.assign(1, pollfd{m_stopFd, POLLIN, 0});
    for (const Line& line : m_lines) fds.push_back(pollfd{line.pty->Master(), POLLIN, 0});
    const int waitMs = std::max(0, static_cast<int>(std::ceil((nextDue - TmSync::GetTm()) * 1000.0)));
    if (poll(fds.data(), fds.size(), waitMs) < 0 && errno != EINTR) return;
    if (fds[0].revents & POLLIN) return;
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
      if (!(fds[i + 1].revents & POLLIN)) continue;
      char buffer[256];
      const ssize_t n = read(m_lines[i].pty->Master(), buffer, sizeof buffer);
      if (n <= 0) continue;
      const std::string answer = m_lines[i].sensor->OnRequest(std::string(buffer, static_cast<std::size_t>(n)));
      if (!answer.empty()) m_lines[i].pty->Write(answer, std::chrono::milliseconds(0));
    }
  }
}
