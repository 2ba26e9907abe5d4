// A station: the windows the host creates (by runtime class, with their
// options and the panel entries the host makes on the operator's behalf), the
// COM port map and the trigger and poll rates. It is kept in the host's
// settings file beside the windows' own settings:
//
//   <Col name="Station">   object "Host": TriggerHz, PollHz; object "ComPorts": COM<n> = device path
//   <Col name="Windows">   one object per window in creation order: name = window "Name",
//                          text = runtime class, items = options in the order they are passed
//   <Col name="Controls">  per window name: panel entries (label = value), set after the panels exist
//   <Col name="Host">      per window name: the window's own Settings(obj)
//   ...                    the columns the windows add themselves ("SComm", ...)
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

class CESet;

struct StationWindow {
  using Pairs = std::vector<std::pair<std::string, std::string>>;

  std::string className;
  std::string name;
  Pairs options;   // passed after "Name", in this order
  Pairs controls;  // label, value

  // The value of key, or null.
  const std::string* Option(const std::string& key) const;
  // Replaces the value in its place, or appends the pair.
  void SetOption(const std::string& key, const std::string& value);
  void SetControl(const std::string& label, const std::string& value);
};

struct Station {
  static constexpr double kDefaultTriggerHz = 20.0;
  static constexpr double kDefaultPollHz = 1.0;
  static constexpr const char* kSerialClass = "CSComm";
  static constexpr const char* kSerialName = "Serial";

  double triggerHz = kDefaultTriggerHz;
  double pollHz = kDefaultPollHz;
  std::map<int, std::string> comPaths;
  std::vector<StationWindow> windows;

  StationWindow* Find(const std::string& name);
  // The first window of that runtime class, or null.
  StationWindow* FindClass(const std::string& className);
  // A new window at the end, named after the class when name is empty and
  // made unique with a number.
  StationWindow& Add(const std::string& className, std::string name = "");
};

// One serial comms window named "Serial": what a host runs without a station
// file, and what a settings file from before stations were kept describes.
Station DefaultStation();

// The station part of a settings file. A file without it is the default
// station. False with the reason (unknown or non-window class, a window
// without a name, a bad rate or COM number).
bool ReadStation(const CESet& set, Station& station, std::string& error);
// Adds the station's columns to a storing set; call before the windows store
// their settings so that the file reads top-down in start-up order.
void WriteStation(const Station& station, CESet& set);
