// The serial comms panel's behaviour: what its controls drive, which lines
// get rows, show and hide, and controls reached as "label#n". Layouts (kinds,
// widths, labels, tooltips, entries) are golden files: panel_layouts_test.cpp.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "comms/serial_comms.h"
#include "host/controls.h"
#include "host/task.h"
#include "sonar/sonar_comm.h"
#include "support/panel_dump.h"
#include "support/test_codecs.h"

// An entry goes to the control its name reaches, never to a caption or a
// header of the same text, and runs the control's callback.
TEST(SerialPanel, ControlsTakeEntriesByName) {
  const struct {
    int lines;
    std::size_t line;  // whose decoder a decode entry makes
    const char* name;
    const char* entry;
    bool taken;
  } cases[] = {
      {1, 0, "Decode", "GPGGA + ZDA", true}, {1, 0, "Sync char", "<CR>", true},     {1, 0, "Comm Port", "Off", true},
      {1, 0, "Rate (Hz)", "5", false},       {8, 1, "Port 2 Decode", "GPGGA", true}, {8, 1, "Port 2 Mode", "Binary", true},
      {8, 0, "Mode", "Binary", false},       {8, 6, "Port 7 Mode", "Binary", false},
  };
  for (const auto& c : cases) {
    SerialPanelWindow panel(c.lines, 8, false);
    CSComm& w = panel.window;
    w.SetupCtrls();
    EXPECT_EQ(w.SetCtrlValue(c.name, c.entry), c.taken) << c.name;
    if (!c.taken) continue;
    EXPECT_EQ(w.FindCtrl(c.name)->GetValueText(), c.entry) << c.name;
    if (std::string_view(c.name).ends_with("Decode")) {
      EXPECT_NE(w.GetLine(c.line)->m_port.m_pDecode, nullptr) << c.name;
    }
  }
  // The age slider's top follows the line's alarm age.
  SerialPanelWindow panel(1, 8, false);
  panel.window.SetupCtrls();
  panel.window.GetLine(0)->m_port.m_alarmAge = 7.5;
  const auto* slider = dynamic_cast<const CESlider*>(*panel.window.m_ageSliders.begin());
  ASSERT_NE(slider, nullptr);
  EXPECT_DOUBLE_EQ(slider->GetMaximum(), 7.5);
}

// Input rows stop two lines before the last and output rows start at line 7;
// with more than eight lines each line keeps one row.
TEST(SerialPanel, RowsPerLineCountAndOutputFlag) {
  const struct {
    int lines;
    bool output;
    std::vector<std::size_t> inputs;   // lines (from 1) with an input row
    std::vector<std::size_t> outputs;  // and with an output row
  } cases[] = {
      {2, true, {}, {}},
      {3, true, {1}, {}},
      {7, true, {1, 2, 3, 4, 5}, {7}},
      {8, false, {1, 2, 3, 4, 5, 6}, {}},
      {8, true, {1, 2, 3, 4, 5, 6}, {7, 8}},
      {10, true, {1, 2, 3, 4, 5, 6}, {7, 8, 9, 10}},
      {10, false, {1, 2, 3, 4, 5, 6, 7, 8}, {}},
      {0, true, {}, {}},
  };
  for (const auto& c : cases) {
    SerialPanelWindow panel(c.lines, 8, c.output);
    CSComm& w = panel.window;
    w.SetupCtrls();
    std::vector<std::size_t> inputs, outputs;
    for (std::size_t i = 0; i < w.GetLineCount(); ++i) {
      if (!w.GetLine(i)->m_inputCtrls.IsEmpty()) inputs.push_back(i + 1);
      if (!w.GetLine(i)->m_outputCtrls.IsEmpty()) outputs.push_back(i + 1);
    }
    EXPECT_EQ(inputs, c.inputs) << c.lines << " " << c.output;
    EXPECT_EQ(outputs, c.outputs) << c.lines << " " << c.output;
  }
}

TEST(SerialPanel, DecodingRowOnAnotherWindowUsesThisWindowsNamesAndSliders) {
  SerialPanelWindow panel(1, 3, false);
  CSComm& w = panel.window;
  CNyxWnd page;
  CZepPort& port = w.GetSonarPort(5);
  w.AddDecodingOptions(page, 2, port.m_decodeCtrls, port, "Zephra");
  EXPECT_EQ(port.m_decodeCtrls.GetCount(), 9u);
  const auto* bank = dynamic_cast<const CECombo*>(page.FindCtrl("Zephra 3 Bank"));
  ASSERT_NE(bank, nullptr);
  EXPECT_EQ(bank->GetEntries(), (std::vector<std::pair<std::string, long>>{{"0", 0}, {"1", 1}, {"2", 2}}));
  EXPECT_EQ(w.m_ageSliders.GetCount(), 1u);
  EXPECT_TRUE(page.m_ageSliders.IsEmpty());
  // Its decode control replaces the port's decoder.
  ASSERT_TRUE(page.SetCtrlValue("Zephra 3 Decode", "GPGGA"));
  EXPECT_NE(port.m_pDecode, nullptr);
}

// Controls that share a label are reached as "label#n" in panel order, so a
// station file can name every sonar port's routing, protocol and rate.
TEST(SonarPortsPage, EveryPortsControlsAreReachedByLabelAndNumber) {
  SerialPanelWindow panel(1, 8, false);
  CSComm& w = panel.window;
  CSonarComm page;
  w.SetName("SerialNumbered");
  page.SetOption("SComm", "SerialNumbered");
  page.SetupCtrls();
  const auto nth = [](const std::string& label, unsigned n) { return n == 1 ? label : label + "#" + std::to_string(n); };
  for (unsigned p = 0; p < CSonarPorts::kSonarPorts; ++p) {
    const CZepPort& port = w.GetSonarPort(p);
    const std::string baud = "Zephra " + std::to_string(p / 2 + 1) + " Baud";
    for (const auto& [name, ctrl] : {std::pair{nth("Zephra Serial Decode", p + 1), port.m_pRoutingCtrl},
                                     std::pair{nth("Protocol", p + 1), port.m_pFormatCtrl},
                                     std::pair{nth(baud, p % 2 + 1), port.m_pBaudCtrl}}) {
      ASSERT_NE(ctrl, nullptr) << name;
      EXPECT_EQ(page.FindCtrl(name), ctrl) << name;
      EXPECT_EQ(page.CtrlName(*ctrl), name) << name;
    }
  }
  // A routed port hides its decoding, the others keep theirs.
  ASSERT_TRUE(page.SetCtrlValue("Zephra Serial Decode#6", "Route to COM7"));
  EXPECT_EQ(w.GetSonarPort(5).m_routing, 7);
  ASSERT_FALSE(w.GetSonarPort(5).m_decodeCtrls.IsEmpty());
  for (const CECtrl* ctrl : w.GetSonarPort(5).m_decodeCtrls) EXPECT_FALSE(ctrl->HasFlag(kCtrlShown));
  for (const CECtrl* ctrl : w.GetSonarPort(4).m_decodeCtrls) EXPECT_TRUE(ctrl->HasFlag(kCtrlShown));
  ASSERT_TRUE(page.SetCtrlValue("Zephra Serial Decode#6", "Decode"));
  for (const CECtrl* ctrl : w.GetSonarPort(5).m_decodeCtrls) EXPECT_TRUE(ctrl->HasFlag(kCtrlShown));
  ASSERT_TRUE(page.SetCtrlValue("Zephra 2 Baud#2", "115200"));
  EXPECT_EQ(w.GetSonarPort(3).m_baud, 6);
  EXPECT_NE(w.GetSonarPort(2).m_baud, 6);
}

TEST(SonarPortsPage, IsCreatedByItsRuntimeClassAndFindsItsSerialWindow) {
  std::unique_ptr<CObject> object(CRuntimeClass::CreateObject("CSonarComm"));
  auto* page = dynamic_cast<CSonarComm*>(object.get());
  ASSERT_NE(page, nullptr);
  page->SetupCtrls();  // nothing without its serial window
  EXPECT_TRUE(page->GetCtrls().empty());
  CSComm serial;
  serial.SetName("Serial7b");
  CNyxWnd other;
  other.SetName("NotSerial");
  for (const char* name : {"Absent", "Serial7b", "NotSerial"}) page->SetOption("SComm", name);
  EXPECT_EQ(page->m_pSComm, &serial);
}

TEST(SonarPortsPage, LaysOutOnlyWhileItsWindowExists) {
  class CountingPage : public CSonarComm {
   public:
    void LayoutCtrls() override { ++layouts; }
    int layouts = 0;
  };
  CountingPage page;
  page.LayoutWnd(0);
  EXPECT_EQ(page.layouts, 0);
  page.SetWindowExists(true);
  page.LayoutWnd(0);
  EXPECT_EQ(page.layouts, 1);
}

// A second build replaces the first, in the lists of controls too.
TEST(SerialPanel, ASecondBuildReplacesTheFirst) {
  SerialPanelWindow panel(8, 3, true);
  CSComm& w = panel.window;
  w.SetName("SerialRebuilt");
  CSonarComm page;
  page.SetOption("SComm", "SerialRebuilt");
  const auto dump = [&] {
    const PanelNames names = SerialPanelNames(w);
    return DumpPanel(w, names) + DumpPanel(page, names) + std::to_string(w.m_ageSliders.GetCount()) + " " +
           std::to_string(w.GetSonarPort(2).m_decodeCtrls.GetCount() + w.GetLine(0)->m_inputCtrls.GetCount());
  };
  w.SetupCtrls();
  page.SetupCtrls();
  const std::string once = dump();
  w.SetupCtrls();
  page.SetupCtrls();
  EXPECT_EQ(dump(), once);
  EXPECT_EQ(w.GetSonarPort(2).m_pBaudCtrl, page.FindCtrl("Zephra 2 Baud"));
}
