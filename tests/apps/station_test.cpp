// The station part of a settings file: one-line reasons for files that
// describe something the host cannot run, and the windows' names and options.
// (The host runner's tests save and load whole stations.)
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "host/settings.h"
#include "nyxhost/station.h"

// The cases are pairs of lines in tests/data/apps/station_cases.txt.
TEST(Station, ReasonsForStationsTheHostCannotRun) {
  std::ifstream cases(std::string(NYX_SOURCE_DIR) + "/tests/data/apps/station_cases.txt");
  ASSERT_TRUE(cases);
  std::string xml, reason;
  while (std::getline(cases, xml)) {
    if (xml.empty() || xml[0] == '#' || !std::getline(cases, reason)) {
      continue;
    }
    CESet set;
    ASSERT_TRUE(set.LoadFromString(xml)) << xml << ": " << set.GetLastError();
    Station station = DefaultStation();
    std::string error;
    EXPECT_FALSE(ReadStation(set, station, error)) << xml;
    EXPECT_EQ(error, reason);
    // A station that cannot run leaves the one before it as it was.
    EXPECT_EQ(station.windows.size(), 1u) << xml;
  }
}

TEST(Station, OptionsKeepTheirOrderAndTheWindowsTheirNames) {
  CESet set;
  ASSERT_TRUE(set.LoadFromString(R"(<NyxSettings version="1"><Col name="Windows"><Obj name="Main" text="CSComm">
      <Item key="nPorts" type="string">3</Item><Item key="Name" type="string">Other</Item>
      <Item key="nBanks" type="int">2</Item></Obj></Col></NyxSettings>)"));
  Station station;
  std::string error;
  ASSERT_TRUE(ReadStation(set, station, error)) << error;
  ASSERT_EQ(station.windows.size(), 1u);
  // The object names the window; a "Name" item would rename it behind the station's back.
  EXPECT_EQ(station.windows[0].name, "Main");
  EXPECT_EQ(station.windows[0].options, (StationWindow::Pairs{{"nPorts", "3"}, {"nBanks", "2"}}));

  station.windows[0].SetOption("nPorts", "5");
  station.windows[0].SetOption("Task", "Survey");
  const StationWindow::Pairs changed = {{"nPorts", "5"}, {"nBanks", "2"}, {"Task", "Survey"}};
  EXPECT_EQ(station.windows[0].options, changed);

  // New windows are named after their class, uniquely.
  EXPECT_EQ(station.Add("CUDPController").name, "CUDPController");
  EXPECT_EQ(station.Add("CUDPController").name, "CUDPController2");
  EXPECT_EQ(station.Add("CSComm", "Main").name, "Main2");
  EXPECT_EQ(station.FindClass("CUDPController"), &station.windows[1]);
}
