// The station part of a settings file: written and read back the same, the
// default station for files that have none, and one-line reasons for files
// that describe something the host cannot run.
#include <gtest/gtest.h>

#include <string>

#include "host/settings.h"
#include "nyxhost/station.h"

namespace {

std::string Xml(const std::string& columns) { return "<NyxSettings version=\"1\">" + columns + "</NyxSettings>"; }

const char* kWindows = R"(<Col name="Windows"><Obj name="Serial" text="CSComm"/></Col>)";

}  // namespace

TEST(Station, WrittenAndReadBackTheSame) {
  Station station;
  station.triggerHz = 25.5;
  station.pollHz = 2;
  station.comPaths = {{1, "/dev/nyx-gps"}, {12, "/dev/serial/by-id/usb-FTDI_x-if00-port0"}};
  station.Add("CSComm", "Serial").SetOption("nBanks", "4");
  station.windows[0].SetOption("nPorts", "2");
  station.Add("CUDPController", "UDP").SetControl("UDP Destination Port", "40000");
  station.windows[1].SetControl("Enable UDP Comms", "1");

  CESet stored;
  WriteStation(station, stored);
  CESet loaded;
  ASSERT_TRUE(loaded.LoadFromString(stored.ToString())) << loaded.GetLastError();
  Station read;
  std::string error;
  ASSERT_TRUE(ReadStation(loaded, read, error)) << error;
  EXPECT_EQ(read.triggerHz, 25.5);
  EXPECT_EQ(read.pollHz, 2.0);
  EXPECT_EQ(read.comPaths, station.comPaths);
  ASSERT_EQ(read.windows.size(), 2u);
  EXPECT_EQ(read.windows[0].className, "CSComm");
  EXPECT_EQ(read.windows[0].name, "Serial");
  const StationWindow::Pairs options = {{"nBanks", "4"}, {"nPorts", "2"}};
  EXPECT_EQ(read.windows[0].options, options);
  EXPECT_TRUE(read.windows[0].controls.empty());
  EXPECT_EQ(read.windows[1].className, "CUDPController");
  const StationWindow::Pairs controls = {{"UDP Destination Port", "40000"}, {"Enable UDP Comms", "1"}};
  EXPECT_EQ(read.windows[1].controls, controls);
  // Written again, the same text.
  CESet again;
  WriteStation(read, again);
  EXPECT_EQ(again.ToString(), stored.ToString());
}

TEST(Station, FilesWithoutAStationRunOneSerialWindow) {
  // As nyxhost wrote them before it kept stations: the window's own settings only.
  CESet set;
  ASSERT_TRUE(set.LoadFromString(Xml(R"(<Col name="Host"><Obj name="Serial" text="">
      <Item key="CommsEnabled" type="int">1</Item></Obj></Col>)")));
  Station station;
  station.triggerHz = 99;
  std::string error;
  ASSERT_TRUE(ReadStation(set, station, error)) << error;
  EXPECT_EQ(station.triggerHz, Station::kDefaultTriggerHz);
  EXPECT_EQ(station.pollHz, Station::kDefaultPollHz);
  ASSERT_EQ(station.windows.size(), 1u);
  EXPECT_EQ(station.windows[0].className, "CSComm");
  EXPECT_EQ(station.windows[0].name, "Serial");
  EXPECT_TRUE(station.comPaths.empty());
}

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
      {"zero rate",
       std::string(kWindows) +
           R"(<Col name="Station"><Obj name="Host"><Item key="TriggerHz" type="double">0</Item></Obj></Col>)",
       "station: TriggerHz must be a rate above 0, not '0'"},
      {"rate text",
       std::string(kWindows) +
           R"(<Col name="Station"><Obj name="Host"><Item key="PollHz" type="double">fast</Item></Obj></Col>)",
       "station: PollHz must be a rate above 0, not 'fast'"},
      {"COM key",
       std::string(kWindows) +
           R"(<Col name="Station"><Obj name="ComPorts"><Item key="ttyS0" type="string">/dev/ttyS0</Item></Obj></Col>)",
       "station: 'ttyS0' in ComPorts is not a COM port (COM1, COM2, ...)"},
      {"COM0",
       std::string(kWindows) +
           R"(<Col name="Station"><Obj name="ComPorts"><Item key="COM0" type="string">/dev/x</Item></Obj></Col>)",
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
  ASSERT_NE(window.Option("Task"), nullptr);
  EXPECT_EQ(*window.Option("Task"), "Survey");
  EXPECT_EQ(window.Option("SonarPorts"), nullptr);

  // New windows are named after their class, uniquely.
  EXPECT_EQ(station.Add("CUDPController").name, "CUDPController");
  EXPECT_EQ(station.Add("CUDPController").name, "CUDPController2");
  EXPECT_EQ(station.Add("CSComm", "Main").name, "Main2");
  EXPECT_EQ(station.FindClass("CUDPController"), &station.windows[1]);
}
