// A panel's controls as text: a line per row and per control (kind, width,
// label, bound variable, tooltip, entries and flags), so that a layout is
// kept as a golden file and reviewed as a diff.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "comms/serial_comms.h"
#include "host/controls.h"
#include "sonar/ser_comm.h"

struct PanelNames {
  using Entries = std::vector<std::pair<std::string, long>>;
  // Bound variables by name ("line1.decode"); an unnamed binding shows as "?".
  std::map<const void*, std::string> bindings;
  // Entries shown by one name instead of one by one (lists that grow elsewhere).
  std::vector<std::pair<std::string, Entries>> entryLists;
};

std::string DumpPanel(const CCtrlCat& panel, const PanelNames& names);

// Compares text with the file tests/data/RELATIVE; with NYX_UPDATE_GOLDEN set
// in the environment it writes the file instead.
void ExpectGoldenFile(const std::string& relative, const std::string& text);

// A serial window of `lines` lines and `banks` banks, with or without a task
// whose texts it sends; the task goes with the window.
class SerialPanelWindow {
 public:
  SerialPanelWindow(int lines, int banks, bool taskOutput);
  ~SerialPanelWindow();
  CSComm window;
};

// The names of a serial window's (its sonar ports' too) or a hub window's variables and registries.
PanelNames SerialPanelNames(CSComm& window);
PanelNames HubPanelNames(CSerComm& window);
