// What a service attached to the host program (a protocol server, an
// operator panel, a clock feed) sees of it: start and stop beside the
// windows, and every record, info message, report and status snapshot the
// host gets. Attach one with HostRunner::AddService before Start.
#pragma once

#include <string>

#include "host/report.h"

class CSnsr;
class HostRunner;
struct StationStatus;

class HostService {
 public:
  virtual ~HostService() = default;

  // Once the windows are up and their lines open, before the run loop:
  // 0, or the program's exit code with a one-line reason in error.
  virtual int Start(HostRunner& host, std::string& error) {
    (void)host;
    (void)error;
    return 0;
  }
  // At shutdown, before the windows go; the host lock is not held.
  virtual void Stop() {}

  // Every record handed to the host (sensor records, and the target and
  // stall-ping records of info messages), on the thread that delivers it,
  // with the host lock held: copy what is kept and return.
  virtual void OnRecord(int kind, const CSnsr& record) {
    (void)kind;
    (void)record;
  }
  // Every info message, as the host receives it (host lock held).
  virtual void OnInfo(int kind, void* data) {
    (void)kind;
    (void)data;
  }
  // Every report, from any thread.
  virtual void OnReport(const Nyx::Report& report) { (void)report; }
  // The station's status once a second, on the run loop's thread.
  virtual void OnStatus(const StationStatus& status) { (void)status; }
};
