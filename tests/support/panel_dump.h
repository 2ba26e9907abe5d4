// A panel's controls as text: a line per row and per control (kind, width,
// label, bound variable, tooltip, entries, flags and the lists holding it),
// so that a layout is kept as a golden file and reviewed as a diff.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "comms/serial_comms.h"
#include "sonar/ser_comm.h"
#include "host/controls.h"
#include "host/list_ptr.h"

struct PanelNames {
  using Entries = std::vector<std::pair<std::string, long>>;

  // The bound variable's name ("line1.decode"); an unnamed binding shows as "?".
  void Bind(const std::string& name, const void* variable) { bindings[variable] = name; }
  // Entries shown by this name instead of one by one (lists that grow elsewhere).
  void Entry(const std::string& name, Entries entries) { entryLists.emplace_back(name, std::move(entries)); }
  // Each control names the lists and pointers that hold it.
  void Hold(const std::string& name, const CList_Ptr<CECtrl*>& list);
  void Hold(const std::string& name, const CECtrl* ctrl) { holders.emplace_back(name, std::vector{ctrl}); }

  std::map<const void*, std::string> bindings;
  std::vector<std::pair<std::string, Entries>> entryLists;
  std::vector<std::pair<std::string, std::vector<const CECtrl*>>> holders;
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

// The names of a serial window's variables, control lists and registries,
// its sonar ports' included.
PanelNames SerialPanelNames(CSComm& window);

// The names of a hub window's variables and control lists.
PanelNames HubPanelNames(CSerComm& window);
