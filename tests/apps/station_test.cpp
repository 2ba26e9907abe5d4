// The station part of a settings file: one-line reasons for files that
// describe something the host cannot run, and the windows' names and options.
// (The host runner's tests save and load whole stations.)
#include <gtest/gtest.h>

#include <string>

#include "host/settings.h"
#include "nyxhost/station.h"

namespace {

std::string Xml(const std::string& columns) { return "<NyxSettings version=\"1\">" + columns + "</NyxSettings>"; }

const char* kWindows = R"(<Col name="Windows"><Obj name="Serial" text="CSComm"/></Col>)";

std::string InStation(const std::string& object) {
  return std::string(kWindows) + R"(<Col name="Station">)" + object + "</Col>";
}

}  // namespace

TEST(Station, ReasonsForStationsTheHostCannotRun) {
  const struct {
    const char* name;
    std::string columns;
    const char* error;
  } cases[] = {
      {"unknown class", R"(<Col name="Windows"><Obj name="X" text="CNoSuchWindow"/></Col>)",
       "station: window 'X': 'CNoSuchWindow' is not a window class this program can create"},
      {"a class that is no window", R"(<Col name="Windows"><Obj name="P" text="CPort"/></Col>)",
       "station: window 'P': 'CPort' is not a window class this program can create"},
      {"no name", R"(<Col name="Windows"><Obj name="" text="CSComm"/></Col>)",
       "station: a window of class 'CSComm' has no name"},
      {"zero rate", InStation(R"(<Obj name="Host"><Item key="TriggerHz" type="double">0</Item></Obj>)"),
       "station: TriggerHz must be a rate above 0, not '0'"},
      {"COM key", InStation(R"(<Obj name="ComPorts"><Item key="ttyS0" type="string">/dev/ttyS0</Item></Obj>)"),
       "station: 'ttyS0' in ComPorts is not a COM port (COM1, COM2, ...)"},
      {"COM0", InStation(R"(<Obj name="ComPorts"><Item key="COM0" type="string">/dev/x</Item></Obj>)"),
       "station: 'COM0' in ComPorts is not a COM port (COM1, COM2, ...)"},
      {"controls of no window",
       std::string(kWindows) + R"(<Col name="Controls"><Obj name="UPD"><Item key="A" type="string">1</Item></Obj></Col>)",
       "station: controls for 'UPD', which is not a window of the station"},
  };
  for (const auto& c : cases) {
    CESet set;
    ASSERT_TRUE(set.LoadFromString(Xml(c.columns))) << c.name << ": " << set.GetLastError();
    Station station = DefaultStation();
    std::string error;
    EXPECT_FALSE(ReadStation(set, station, error)) << c.name;
    EXPECT_EQ(error, c.error) << c.name;
    // A station that cannot run leaves the one before it as it was.
    EXPECT_EQ(station.windows.size(), 1u) << c.name;
  }
}

TEST(Station, OptionsKeepTheirOrderAndTheWindowsTheirNames) {
  CESet set;
  ASSERT_TRUE(set.LoadFromString(Xml(R"(<Col name="Windows"><Obj name="Main" text="CSComm">
      <Item key="nPorts" type="string">3</Item><Item key="Name" type="string">Other</Item>
      <Item key="nBanks" type="int">2</Item></Obj></Col>)")));
  Station station;
  std::string error;
  ASSERT_TRUE(ReadStation(set, station, error)) << error;
  ASSERT_EQ(station.windows.size(), 1u);
  // The object names the window; a "Name" item would rename it behind the station's back.
  EXPECT_EQ(station.windows[0].name, "Main");
  const StationWindow::Pairs expected = {{"nPorts", "3"}, {"nBanks", "2"}};
  EXPECT_EQ(station.windows[0].options, expected);

  StationWindow& window = station.windows[0];
  window.SetOption("nPorts", "5");
  window.SetOption("Task", "Survey");
  const StationWindow::Pairs changed = {{"nPorts", "5"}, {"nBanks", "2"}, {"Task", "Survey"}};
  EXPECT_EQ(window.options, changed);

  // New windows are named after their class, uniquely.
  EXPECT_EQ(station.Add("CUDPController").name, "CUDPController");
  EXPECT_EQ(station.Add("CUDPController").name, "CUDPController2");
  EXPECT_EQ(station.Add("CSComm", "Main").name, "Main2");
  EXPECT_EQ(station.FindClass("CUDPController"), &station.windows[1]);
}
