#include "nyxhost/station.h"

#include <charconv>
#include <cmath>

#include "host/nyx_wnd.h"
#include "host/settings.h"

namespace {

constexpr const char* kStationColumn = "Station";
constexpr const char* kWindowsColumn = "Windows";
constexpr const char* kControlsColumn = "Controls";
constexpr const char* kHostObject = "Host";
constexpr const char* kComPortsObject = "ComPorts";

void SetPair(StationWindow::Pairs& pairs, const std::string& key, const std::string& value) {
  for (auto& [k, v] : pairs) {
    if (k == key) {
      v = value;
      return;
    }
  }
  pairs.emplace_back(key, value);
}

// The last stored value of key, or null: items are read without moving the
// object's read position, so a set can be read as a station more than once.
const std::string* ItemValue(const CESetObj& obj, const std::string& key) {
  const std::string* found = nullptr;
  for (const auto& entry : obj.GetItems()) {
    if (entry.key == key) found = &entry.value;
  }
  return found;
}

bool ReadRate(const CESetObj& obj, const char* key, double& rate, std::string& error) {
  const std::string* text = ItemValue(obj, key);
  if (!text) return true;
  double value = 0;
  const char* end = text->data() + text->size();
  const auto result = std::from_chars(text->data(), end, value);
  if (result.ec != std::errc() || result.ptr != end || !(value > 0) || !std::isfinite(value)) {
    error = std::string("station: ") + key + " must be a rate above 0, not '" + *text + "'";
    return false;
  }
  rate = value;
  return true;
}

// "COM<n>" with n from 1.
bool ReadComNumber(const std::string& key, int& com) {
  if (key.size() < 4 || key.compare(0, 3, "COM") != 0) return false;
  const char* end = key.data() + key.size();
  const auto result = std::from_chars(key.data() + 3, end, com);
  return result.ec == std::errc() && result.ptr == end && com >= 1;
}

bool IsWindowClass(const std::string& className) {
  const CRuntimeClass* cls = CRuntimeClass::FromName(className);
  return cls && cls->m_pfnCreateObject && cls->IsDerivedFrom(RuntimeClassOf<CNyxWnd>());
}

}  // namespace

const std::string* StationWindow::Option(const std::string& key) const {
  for (const auto& [k, v] : options) {
    if (k == key) return &v;
  }
  return nullptr;
}

void StationWindow::SetOption(const std::string& key, const std::string& value) { SetPair(options, key, value); }

void StationWindow::SetControl(const std::string& label, const std::string& value) {
  SetPair(controls, label, value);
}

StationWindow* Station::Find(const std::string& name) {
  for (StationWindow& window : windows) {
    if (window.name == name) return &window;
  }
  return nullptr;
}

StationWindow* Station::FindClass(const std::string& className) {
  for (StationWindow& window : windows) {
    if (window.className == className) return &window;
  }
  return nullptr;
}

StationWindow& Station::Add(const std::string& className, std::string name) {
  if (name.empty()) name = className;
  const std::string base = name;
  for (int n = 2; Find(name); ++n) name = base + std::to_string(n);
  windows.push_back(StationWindow{className, name, {}, {}});
  return windows.back();
}

Station DefaultStation() {
  Station station;
  station.Add(Station::kSerialClass, Station::kSerialName);
  return station;
}

bool ReadStation(const CESet& set, Station& station, std::string& error) {
  const CESetCol* windows = set.GetCol(kWindowsColumn);
  if (!windows) {
    station = DefaultStation();
    return true;
  }
  Station read;
  if (const CESetCol* column = set.GetCol(kStationColumn)) {
    if (const CESetObj* host = column->GetObj(kHostObject)) {
      if (!ReadRate(*host, "TriggerHz", read.triggerHz, error) || !ReadRate(*host, "PollHz", read.pollHz, error)) {
        return false;
      }
    }
    if (const CESetObj* ports = column->GetObj(kComPortsObject)) {
      for (const auto& entry : ports->GetItems()) {
        int com = 0;
        if (!ReadComNumber(entry.key, com)) {
          error = "station: '" + entry.key + "' in ComPorts is not a COM port (COM1, COM2, ...)";
          return false;
        }
        read.comPaths[com] = entry.value;
      }
    }
  }
  for (const auto& obj : windows->GetObjs()) {
    const std::string& name = obj->GetName();
    const std::string& className = obj->GetText();
    if (name.empty()) {
      error = "station: a window of class '" + className + "' has no name";
      return false;
    }
    if (!IsWindowClass(className)) {
      error = "station: window '" + name + "': '" + className + "' is not a window class this program can create";
      return false;
    }
    StationWindow& window = read.Add(className, name);
    for (const auto& entry : obj->GetItems()) {
      // The object's name is the window's name.
      if (entry.key != "Name") window.options.emplace_back(entry.key, entry.value);
    }
  }
  if (const CESetCol* controls = set.GetCol(kControlsColumn)) {
    for (const auto& obj : controls->GetObjs()) {
      StationWindow* window = read.Find(obj->GetName());
      if (!window) {
        error = "station: controls for '" + obj->GetName() + "', which is not a window of the station";
        return false;
      }
      for (const auto& entry : obj->GetItems()) window->controls.emplace_back(entry.key, entry.value);
    }
  }
  station = std::move(read);
  return true;
}

void WriteStation(const Station& station, CESet& set) {
  CESetCol* column = set.AddCol(kStationColumn);
  CESetObj* host = column->AddObj(kHostObject, "nyxhost");
  double trigger = station.triggerHz, poll = station.pollHz;
  host->Item("TriggerHz", trigger);
  host->Item("PollHz", poll);
  CESetObj* ports = column->AddObj(kComPortsObject);
  for (const auto& [com, path] : station.comPaths) {
    std::string value = path;
    ports->Item(("COM" + std::to_string(com)).c_str(), value);
  }
  CESetCol* windows = set.AddCol(kWindowsColumn);
  for (const StationWindow& window : station.windows) {
    CESetObj* obj = windows->AddObj(window.name, window.className);
    for (auto [key, value] : window.options) obj->Item(key.c_str(), value);
  }
  CESetCol* controls = set.AddCol(kControlsColumn);
  for (const StationWindow& window : station.windows) {
    if (window.controls.empty()) continue;
    CESetObj* obj = controls->AddObj(window.name);
    for (auto [label, value] : window.controls) obj->Item(label.c_str(), value);
  }
}
