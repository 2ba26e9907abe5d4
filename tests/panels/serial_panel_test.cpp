// The serial comms panel and its row builders, control by control: kind,
// width, label, tooltip, binding and the flexible column, in order; the lists
// the rows join; and the sonar ports page built from the same rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "comms/serial_comms.h"
#include "host/controls.h"
#include "host/task.h"
#include "sonar/sonar_comm.h"
#include "support/capture.h"
#include "support/test_codecs.h"

namespace {

// One control as the panel should insert it.
struct Ctrl {
  int kind;
  int width;
  std::string label;
  CtrlBinding binding = std::monostate{};
  std::string tooltip = "";
  bool flex = false;
};

std::string Describe(const CECtrl& c) {
  return std::to_string(c.m_kind) + "/" + std::to_string(c.m_width) + " '" + c.m_label + "' <" + c.m_tooltip + ">" +
         (c.m_flex ? " flex" : "");
}

// The controls from `from` on are exactly `expected`, in order.
void ExpectCtrls(const CCtrlCat& cat, std::size_t from, const std::vector<Ctrl>& expected, const std::string& where) {
  const auto& ctrls = cat.GetCtrls();
  ASSERT_LE(from + expected.size(), ctrls.size()) << where;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const CECtrl& got = *ctrls[from + i];
    const Ctrl& want = expected[i];
    const std::string at = where + " #" + std::to_string(from + i) + " " + Describe(got);
    EXPECT_EQ(got.m_kind, want.kind) << at;
    EXPECT_EQ(got.m_width, want.width) << at;
    EXPECT_EQ(got.m_label, want.label) << at;
    EXPECT_EQ(got.m_tooltip, want.tooltip) << at;
    EXPECT_TRUE(got.m_binding == want.binding) << at;
    EXPECT_EQ(got.m_flex, want.flex) << at;
  }
}

std::size_t IndexOf(const CCtrlCat& cat, const std::string& label, std::size_t from = 0) {
  const auto& ctrls = cat.GetCtrls();
  for (std::size_t i = from; i < ctrls.size(); ++i) {
    if (ctrls[i]->m_label == label) return i;
  }
  return ctrls.size();
}

std::vector<std::pair<std::string, long>> Entries(const CECtrl* ctrl) {
  const auto* combo = dynamic_cast<const CECombo*>(ctrl);
  return combo ? combo->GetEntries() : std::vector<std::pair<std::string, long>>{};
}

std::vector<std::pair<std::string, long>> SyncEntries(const CSComm& window) {
  std::vector<std::pair<std::string, long>> entries;
  for (const auto& [code, name] : window.m_syncNames) entries.emplace_back(name, code);
  return entries;
}

constexpr const char* kStatusTip =
    "Status grey = no data, red = data incorrect, yellow = more data expected, green = all ok";

// The header of a decoding row.
std::vector<Ctrl> Header(bool banks) {
  std::vector<Ctrl> rows = {
      {kCtrlLabel, 90, "Mode", {}, "Mode for port (ASCII decode or Binary decode)"},
      {kCtrlLabel, 55, "Sync", {}, "Sync character used by ASCII data"},
      {kCtrlLabel, 125, "Decode", {}, "Decode to apply"},
  };
  if (banks) rows.push_back({kCtrlLabel, 35, "Bank", {}, "Bank on which to output sensor data"});
  rows.insert(rows.end(), {
                              {kCtrlLabel, 30, "Max", {}, "Generate alarm after data age exceeds this value"},
                              {kCtrlLabel, 50, "Age", {}, "Time since last correct message"},
                              {kCtrlLabel, 16, "", {}, kStatusTip},
                              {kCtrlLabel, 30, "Hz", {}, "Data rate of primary decode"},
                              {kCtrlLabel, 30, "String", {}, "Decoded string", true},
                          });
  return rows;
}

// One decoding row for `port`, named by prefix and number.
std::vector<Ctrl> DecodingRow(CPort& port, const std::string& prefix, int number, bool banks) {
  const std::string name = prefix + " " + std::to_string(number);
  std::vector<Ctrl> rows = {
      {kCtrlCombo, 90, name + " Mode", &port.m_sync},
      {kCtrlCombo, 55, name + " Sync char", &port.m_syncChar},
      {kCtrlCombo, 125, name + " Decode", &port.m_decode},
  };
  if (banks) rows.push_back({kCtrlCombo, 35, name + " Bank", &port.m_bank});
  rows.insert(rows.end(), {
                              {kCtrlValue, 30, name + " Age", &port.m_alarmAge},
                              {kCtrlSlider, 50, "", &port.m_age},
                              {kCtrlLamp, 16, "", &port.m_status},
                              {kCtrlText, 30, "", &port.m_hz},
                              {kCtrlText, 30, "", &port.m_lastMsg, "", true},
                          });
  return rows;
}

struct TaskCleanup {
  ~TaskCleanup() { CTask::RemoveAll(); }
};

// A serial window of `lines` lines, `banks` banks, with or without the task's output section.
class PanelWindow {
 public:
  PanelWindow(int lines, int banks, bool taskOutput) {
    window.SetOption("nBanks", std::to_string(banks));
    window.SetOption("nPorts", std::to_string(lines));
    if (taskOutput) {
      CTask::AddTask("Out", "Host")->GetData()->m_outputFlags = {1, 0};
      window.SetOption("Task", "Out");
    }
    window.m_comPorts = {2, 7};
  }
  TaskCleanup cleanup;
  CSComm window;
};

}  // namespace

TEST(SerialPanel, OneLineIsAColumnOfLabelledRows) {
  for (const int banks : {8, 1}) {
    PanelWindow panel(1, banks, true);
    CSComm& w = panel.window;
    w.SetupCtrls();
    CSPort& line = *w.GetLine(0);
    CPort& port = line.m_port;
    std::vector<Ctrl> expected = {
        {kCtrlLabel, 60, "Comm Port"},
        {kCtrlCombo, 125, "Comm Port", &line.m_commPort},
        {kCtrlButton, 16, "..."},
        {kCtrlLabel, 60, "Decode"},
        {kCtrlCombo, 125, "Decode", &port.m_decode},
        {kCtrlLabel, 60, "Sync"},
        {kCtrlCombo, 125, "Sync char", &port.m_syncChar},
        {kCtrlCheck, 16, "", &port.m_sync},
    };
    if (banks > 1) expected.insert(expected.end(), {{kCtrlLabel, 60, "Bank"}, {kCtrlCombo, 45, "Bank", &port.m_bank}});
    expected.insert(expected.end(), {
                                        {kCtrlLabel, 60, "Status"},
                                        {kCtrlSlider, 125, "", &port.m_age},
                                        {kCtrlLamp, 16, "", &port.m_status},
                                        {kCtrlLabel, 60, "Rate (Hz)"},
                                        {kCtrlText, 125, "", &port.m_hz},
                                        {kCtrlLabel, 60, "Output"},
                                        {kCtrlCheck, 125, "Write to Console", &port.m_echoData},
                                        {kCtrlText, 201, "", &port.m_lastMsg, "", true},
                                    });
    ASSERT_EQ(w.GetCtrls().size(), expected.size()) << banks;
    ExpectCtrls(w, 0, expected, "banks " + std::to_string(banks));

    const auto& ctrls = w.GetCtrls();
    const std::size_t sync = IndexOf(w, "Sync char");
    const std::size_t status = IndexOf(w, "Status");
    if (banks > 1) {
      // The bank row runs on into the status row.
      EXPECT_EQ(ctrls[IndexOf(w, "Bank")]->m_row, ctrls[status]->m_row);
      EXPECT_EQ(ctrls[status]->m_row, ctrls[sync]->m_row + 1);
    } else {
      EXPECT_EQ(ctrls[status]->m_row, ctrls[sync]->m_row + 1);
      EXPECT_EQ(ctrls[status]->m_column, 0);
    }
    // The message takes a line of its own under the check box.
    EXPECT_EQ(ctrls.back()->m_row, ctrls[ctrls.size() - 2]->m_row + 1);
    EXPECT_EQ(ctrls.back()->m_column, 0);

    EXPECT_EQ(Entries(ctrls[1].get()), (std::vector<std::pair<std::string, long>>{{"Off", 0}, {"COM2", 2}, {"COM7", 7}}));
    EXPECT_EQ(Entries(ctrls[4].get()).size(), CEComm::s_decodes_names.size());
    EXPECT_EQ(Entries(ctrls[6].get()), SyncEntries(w));
    if (banks > 1) {
      EXPECT_EQ(Entries(ctrls[9].get()).size(), 8u);
    }
    ASSERT_EQ(w.m_ageSliders.GetCount(), 1u);
    EXPECT_EQ(*w.m_ageSliders.begin(), ctrls[IndexOf(w, "Status") + 1].get());
    EXPECT_TRUE(line.m_inputCtrls.IsEmpty());
  }
}

TEST(SerialPanel, OneLinesControlsDriveTheLine) {
  PanelWindow panel(1, 8, false);
  CSComm& w = panel.window;
  w.SetupCtrls();
  CPort& port = w.GetLine(0)->m_port;
  // The row's caption has the same text; the entry goes to the combo beside it.
  ASSERT_TRUE(w.SetCtrlValue("Decode", "GPGGA"));
  EXPECT_EQ(port.m_decode, DecoderIndex("GPGGA"));
  ASSERT_NE(port.m_pDecode, nullptr);
  EXPECT_TRUE(w.SetCtrlValue("Sync char", "<CR>"));
  EXPECT_EQ(port.m_syncChar, 13);
  port.m_alarmAge = 7.5;
  const auto* slider = dynamic_cast<const CESlider*>(*w.m_ageSliders.begin());
  ASSERT_NE(slider, nullptr);
  EXPECT_DOUBLE_EQ(slider->GetMaximum(), 7.5);
}

TEST(SerialPanel, SeveralLinesHaveInputAndOutputSections) {
  PanelWindow panel(8, 8, true);
  CSComm& w = panel.window;
  w.SetupCtrls();
  ExpectCtrls(w, 0, {{kCtrlCheck, 107, "Enable Comms", &w.m_bEnableComms}}, "enable");
  std::vector<Ctrl> inputHeader = {{kCtrlLabel, 89, "Input COM Port", {}, "COM Port number"},
                                   {kCtrlLabel, 16, "", {}, "COM Port settings (Baud rate etc.)"}};
  const auto header = Header(true);
  inputHeader.insert(inputHeader.end(), header.begin(), header.end());
  ExpectCtrls(w, 1, inputHeader, "input header");

  CSPort& first = *w.GetLine(0);
  std::vector<Ctrl> inputRow = {{kCtrlCombo, 89, "Port 1 COM Port", &first.m_commPort}, {kCtrlButton, 16, "..."}};
  const auto decoding = DecodingRow(first.m_port, "Port", 1, true);
  inputRow.insert(inputRow.end(), decoding.begin(), decoding.end());
  ExpectCtrls(w, IndexOf(w, "Port 1 COM Port"), inputRow, "input row");

  ExpectCtrls(w, IndexOf(w, "Output COM Port"),
              {
                  {kCtrlLabel, 89, "Output COM Port", {}, "COM Port number"},
                  {kCtrlLabel, 16, "", {}, "COM Port settings (Baud rate etc.)"},
                  {kCtrlLabel, 90, "Mode", {}, "Mode for port (ASCII encode or Binary encode)"},
                  {kCtrlLabel, 55, "Sync", {}, "Sync character used by ASCII data"},
                  {kCtrlLabel, 125, "Encode", {}, "Encode to apply"},
                  {kCtrlLabel, 35, "Bank", {}, "Bank on which to output sensor data"},
                  {kCtrlLabel, 30, "Max", {}, "Generate alarm after data age exceeds this value"},
                  {kCtrlLabel, 50, "Age", {}, "Time since last correct message"},
                  {kCtrlLabel, 16, "", {}, kStatusTip},
                  {kCtrlLabel, 30, "Hz", {}, "Data rate of primary encode"},
                  {kCtrlLabel, 30, "String", {}, "Encoded string"},
              },
              "output header");

  CSPort& seventh = *w.GetLine(6);
  CPort& out = seventh.m_port;
  ExpectCtrls(w, IndexOf(w, "Port 7 COM Port"),
              {
                  {kCtrlCombo, 89, "Port 7 COM Port", &seventh.m_commPort},
                  {kCtrlButton, 16, "..."},
                  {kCtrlCombo, 90, "Port 7 Mode", &out.m_sync},
                  {kCtrlCombo, 55, "Port 7 Sync char", &out.m_syncChar},
                  {kCtrlCombo, 125, "Port 7 Encode", &out.m_encode},
                  {kCtrlCombo, 35, "Port 7 Bank", &out.m_bank},
                  {kCtrlValue, 30, "Port 7 Age", &out.m_alarmAge},
                  {kCtrlSlider, 50, "", &out.m_age},
                  {kCtrlLamp, 16, "", &out.m_status},
                  {kCtrlText, 30, "", &out.m_hz},
                  {kCtrlText, 30, "", &out.m_lastMsg, "", true},
              },
              "output row");

  // The rows join their line's lists; every age slider joins the window's list.
  EXPECT_EQ(first.m_inputCtrls.GetCount(), 10u);
  EXPECT_TRUE(first.m_outputCtrls.IsEmpty());
  EXPECT_EQ(seventh.m_outputCtrls.GetCount(), 11u);
  EXPECT_TRUE(seventh.m_inputCtrls.IsEmpty());
  EXPECT_EQ(*seventh.m_outputCtrls.begin(), w.FindCtrl("Port 7 COM Port"));
  EXPECT_FALSE(first.m_inputCtrls.Contains(w.FindCtrl("Port 1 COM Port")));
  EXPECT_EQ(w.m_ageSliders.GetCount(), 8u);
  // The entries: the input COM combo lists the ports found, the output's its own port too.
  EXPECT_EQ(Entries(w.FindCtrl("Port 1 COM Port")),
            (std::vector<std::pair<std::string, long>>{{"Off", 0}, {"COM2", 2}, {"COM7", 7}}));
  EXPECT_EQ(Entries(w.FindCtrl("Port 7 Mode")), (std::vector<std::pair<std::string, long>>{{"ASCII", 1}, {"Binary", 0}}));
  EXPECT_EQ(Entries(w.FindCtrl("Port 7 Encode")).size(), CEComm::s_encodes_names.size());
  EXPECT_EQ(Entries(w.FindCtrl("Port 3 Bank")).back(), (std::pair<std::string, long>{"7", 7}));
}

TEST(SerialPanel, RowsPerLineCountAndOutputFlag) {
  const struct {
    int lines;
    bool output;
    std::vector<std::string> inputs;   // the COM combos of the input rows
    std::vector<std::string> outputs;  // and of the output rows
  } cases[] = {
      {2, true, {}, {}},
      {3, true, {"Port 1"}, {}},
      {7, true, {"Port 1", "Port 2", "Port 3", "Port 4", "Port 5"}, {"Port 7"}},
      {8, false, {"Port 1", "Port 2", "Port 3", "Port 4", "Port 5", "Port 6"}, {}},
      {8, true, {"Port 1", "Port 2", "Port 3", "Port 4", "Port 5", "Port 6"}, {"Port 7", "Port 8"}},
      // More than eight: one row per line while the output section shows.
      {10, true, {"Port 1", "Port 2", "Port 3", "Port 4", "Port 5", "Port 6"}, {"Port 7", "Port 8", "Port 9", "Port 10"}},
      {10, false, {"Port 1", "Port 2", "Port 3", "Port 4", "Port 5", "Port 6", "Port 7", "Port 8"}, {}},
      {0, true, {}, {}},
  };
  for (const auto& c : cases) {
    PanelWindow panel(c.lines, 8, c.output);
    CSComm& w = panel.window;
    w.SetupCtrls();
    std::vector<std::string> inputs, outputs;
    const std::size_t outputHeader = IndexOf(w, "Output COM Port");
    for (std::size_t i = 0; i < w.GetCtrls().size(); ++i) {
      const std::string& label = w.GetCtrls()[i]->m_label;
      if (label.size() < 9 || label.compare(label.size() - 9, 9, " COM Port") != 0 || label.rfind("Port ", 0) != 0) continue;
      (i < outputHeader ? inputs : outputs).push_back(label.substr(0, label.size() - 9));
    }
    EXPECT_EQ(inputs, c.inputs) << c.lines << " " << c.output;
    EXPECT_EQ(outputs, c.outputs) << c.lines << " " << c.output;
    EXPECT_EQ(outputHeader < w.GetCtrls().size(), c.output) << c.lines;
    EXPECT_EQ(w.FindCtrl("Enable Comms") != nullptr, true) << c.lines;
  }
}

TEST(SerialPanel, OneBankLeavesOutEveryBankControl) {
  PanelWindow panel(8, 1, true);
  CSComm& w = panel.window;
  w.SetupCtrls();
  EXPECT_EQ(w.FindCtrl("Bank"), nullptr);
  for (const auto& c : w.GetCtrls()) EXPECT_EQ(c->m_label.find("Bank"), std::string::npos) << c->m_label;
  CSPort& first = *w.GetLine(0);
  std::vector<Ctrl> row = {{kCtrlCombo, 89, "Port 1 COM Port", &first.m_commPort}, {kCtrlButton, 16, "..."}};
  const auto decoding = DecodingRow(first.m_port, "Port", 1, false);
  row.insert(row.end(), decoding.begin(), decoding.end());
  ExpectCtrls(w, IndexOf(w, "Port 1 COM Port"), row, "one bank");
  EXPECT_EQ(w.GetLine(7)->m_outputCtrls.GetCount(), 10u);
}

TEST(SerialPanel, InputRowControlsDriveTheirLine) {
  PanelWindow panel(8, 8, false);
  CSComm& w = panel.window;
  w.SetupCtrls();
  ASSERT_TRUE(w.SetCtrlValue("Port 2 Decode", "GPGGA"));
  EXPECT_NE(w.GetLine(1)->m_port.m_pDecode, nullptr);
  ASSERT_TRUE(w.SetCtrlValue("Port 2 Mode", "Binary"));
  EXPECT_EQ(w.GetLine(1)->m_port.m_sync, 0);
  // The header texts are not controls to drive.
  EXPECT_FALSE(w.SetCtrlValue("Mode", "Binary"));
}

TEST(SerialPanel, HeaderJoinsTheListOnlyWhenAsked) {
  PanelWindow panel(1, 8, false);
  CSComm& w = panel.window;
  CList_Ptr<CECtrl*> list;
  w.AddHeader(w, list, false);
  EXPECT_TRUE(list.IsEmpty());
  w.AddHeader(w, list, true);
  EXPECT_EQ(list.GetCount(), 9u);
  ExpectCtrls(w, 9, Header(true), "header");
}

TEST(SerialPanel, SonarPortRowsFollowTheSerialIndexAndTheOperatorLevel) {
  const struct {
    unsigned sonar, serial;
    int level;
    std::vector<std::pair<std::string, long>> routing;
    std::vector<std::pair<std::string, long>> protocol;
    const char* baudLabel;
  } cases[] = {
      {0, 0, 0, {{"Decode", 0}, {"Route to COM2", 2}, {"Route to COM7", 7}}, {{"RS232", 0}, {"RS485", 1}}, "Zephra 1 Baud"},
      {0, 1, 0, {{"Decode", 0}, {"Route to COM2", 2}, {"Route to COM7", 7}}, {{"RS232", 0}}, "Zephra 1 Baud"},
      {3, 0, 4, {{"Decode", 0}, {"Loopback", 256}, {"Route to COM2", 2}, {"Route to COM7", 7}}, {{"RS232", 0}, {"RS485", 1}},
       "Zephra 4 Baud"},
      {2, 1, 3, {{"Decode", 0}, {"Route to COM2", 2}, {"Route to COM7", 7}}, {{"RS232", 0}}, "Zephra 3 Baud"},
  };
  for (const auto& c : cases) {
    PanelWindow panel(1, 8, false);
    CSComm& w = panel.window;
    CNyxWnd page;
    CZepPort& port = w.GetSonarPort(2 * c.sonar + c.serial);
    const int previous = Nyx::nyxLevel.exchange(c.level);
    w.AddZephraHeaderCtrls(page);
    w.AddZephraCtrls(page, c.sonar, c.serial);
    Nyx::nyxLevel = previous;
    const std::string where = std::to_string(c.sonar) + "/" + std::to_string(c.serial);
    ExpectCtrls(page, 0,
                {
                    {kCtrlLabel, 50, "Sonar ID", {}, "Sonar ID number"},
                    {kCtrlLabel, 35, "Port", {}, "Sonar Serial Ports"},
                    {kCtrlLabel, 110, "Function", {}, "Function of Serial Port"},
                    {kCtrlLabel, 55, "Protocol", {}, "Zephra Serial Port Protocol"},
                    {kCtrlLabel, 65, "Baud Rate", {}, "Zephra Serial Port Baud Rate"},
                    {kCtrlText, 50, "", &port.m_label},
                    {kCtrlText, 35, "", &port.m_comPort},
                    {kCtrlCombo, 110, "Zephra Serial Decode", &port.m_routing},
                    {kCtrlCombo, 55, "Protocol", &port.m_format},
                    {kCtrlCombo, 65, c.baudLabel, &port.m_baud},
                },
                where);
    ASSERT_EQ(page.GetCtrls().size(), 10u);
    EXPECT_EQ(port.m_pLabelCtrl, page.GetCtrls()[5].get());
    EXPECT_EQ(port.m_pComPortCtrl, page.GetCtrls()[6].get());
    EXPECT_EQ(port.m_pRoutingCtrl, page.GetCtrls()[7].get());
    EXPECT_EQ(port.m_pFormatCtrl, page.GetCtrls()[8].get());
    EXPECT_EQ(port.m_pBaudCtrl, page.GetCtrls()[9].get());
    EXPECT_EQ(Entries(port.m_pRoutingCtrl), c.routing) << where;
    EXPECT_EQ(Entries(port.m_pFormatCtrl), c.protocol) << where;
    EXPECT_EQ(Entries(port.m_pBaudCtrl),
              (std::vector<std::pair<std::string, long>>{{"2400", 0}, {"4800", 1}, {"9600", 2}, {"19200", 3},
                                                         {"38400", 4}, {"57600", 5}, {"115200", 6}}));
    // The rows go to no list of their own.
    EXPECT_TRUE(port.m_decodeCtrls.IsEmpty());
  }
}

TEST(SerialPanel, DecodingRowOnAnotherWindowUsesThisWindowsNamesAndSliders) {
  PanelWindow panel(1, 3, false);
  CSComm& w = panel.window;
  CNyxWnd page;
  CZepPort& port = w.GetSonarPort(5);
  w.AddDecodingOptions(page, 2, port.m_decodeCtrls, port, "Zephra");
  ExpectCtrls(page, 0, DecodingRow(port, "Zephra", 3, true), "page row");
  EXPECT_EQ(port.m_decodeCtrls.GetCount(), 9u);
  EXPECT_EQ(Entries(page.FindCtrl("Zephra 3 Sync char")), SyncEntries(w));
  EXPECT_EQ(Entries(page.FindCtrl("Zephra 3 Bank")), (std::vector<std::pair<std::string, long>>{{"0", 0}, {"1", 1}, {"2", 2}}));
  EXPECT_EQ(w.m_ageSliders.GetCount(), 1u);
  EXPECT_TRUE(page.m_ageSliders.IsEmpty());
  const CECtrl* slider = page.GetCtrls()[5].get();
  EXPECT_EQ(slider->m_display, -1);
  EXPECT_EQ(page.GetCtrls().back()->m_display, 0);
  // Its decode control replaces the port's decoder.
  ASSERT_TRUE(page.SetCtrlValue("Zephra 3 Decode", "GPGGA"));
  EXPECT_NE(port.m_pDecode, nullptr);
}

TEST(SerialPanel, ChoosingARoutingHidesOrShowsTheDecoding) {
  PanelWindow panel(1, 8, false);
  CSComm& w = panel.window;
  CSonarComm page;
  page.SetName("SonarPage");
  w.SetName("SerialUnderTest");
  page.SetOption("SComm", "SerialUnderTest");
  page.SetupCtrls();
  CZepPort& port = w.GetSonarPort(0);
  ASSERT_TRUE(page.SetCtrlValue("Zephra Serial Decode", "Route to COM7"));
  EXPECT_EQ(port.m_routing, 7);
  for (const CECtrl* ctrl : port.m_decodeCtrls) EXPECT_FALSE(ctrl->HasFlag(kCtrlShown));
  for (const CECtrl* ctrl : w.GetSonarPort(1).m_decodeCtrls) EXPECT_TRUE(ctrl->HasFlag(kCtrlShown));
  ASSERT_TRUE(page.SetCtrlValue("Zephra Serial Decode", "Decode"));
  for (const CECtrl* ctrl : port.m_decodeCtrls) EXPECT_TRUE(ctrl->HasFlag(kCtrlShown));
  ASSERT_TRUE(page.SetCtrlValue("Zephra 1 Baud", "115200"));
  EXPECT_EQ(port.m_baud, 6);
}

// Controls that share a label are reached as "label#n" in panel order, so a
// station file can name every sonar port's routing, protocol and rate.
TEST(SonarPortsPage, EveryPortsControlsAreReachedByLabelAndNumber) {
  PanelWindow panel(1, 8, false);
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
  ASSERT_TRUE(page.SetCtrlValue("Zephra Serial Decode#6", "Route to COM7"));
  EXPECT_EQ(w.GetSonarPort(5).m_routing, 7);
  EXPECT_EQ(w.GetSonarPort(0).m_routing, 0);
  ASSERT_TRUE(page.SetCtrlValue("Zephra 2 Baud#2", "115200"));
  EXPECT_EQ(w.GetSonarPort(3).m_baud, 6);
  EXPECT_NE(w.GetSonarPort(2).m_baud, 6);
}

// In the one-line layout each row's caption carries its control's label; the
// name reaches the control, whose value is what a station file keeps.
TEST(SerialPanel, OneLinesCaptionsNeitherTakeNorGiveAValue) {
  PanelWindow panel(1, 8, false);
  CSComm& w = panel.window;
  w.SetupCtrls();
  ASSERT_TRUE(w.SetCtrlValue("Decode", "GPGGA + ZDA"));
  for (const char* label : {"Comm Port", "Decode", "Bank"}) {
    const CECtrl* ctrl = w.FindCtrl(label);
    ASSERT_NE(ctrl, nullptr) << label;
    EXPECT_NE(ctrl->m_kind, kCtrlLabel) << label;
    EXPECT_NE(ctrl->GetValueText(), label) << label;
  }
  EXPECT_EQ(w.FindCtrl("Decode")->GetValueText(), "GPGGA + ZDA");
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
  page->SetOption("SComm", "Absent");
  EXPECT_EQ(page->m_pSComm, nullptr);
  page->SetOption("SComm", "Serial7b");
  EXPECT_EQ(page->m_pSComm, &serial);
  page->SetOption("SComm", "NotSerial");
  EXPECT_EQ(page->m_pSComm, &serial);
  page->SetOption("Name", "Page7b");  // the window's own options still apply
  EXPECT_EQ(page->GetName(), "Page7b");
}

TEST(SonarPortsPage, ShowsEveryPortOfTheFourSlots) {
  PanelWindow panel(1, 8, false);
  CSComm& w = panel.window;
  w.SetName("SerialForPage");
  CSonarComm page;
  page.SetOption("SComm", "SerialForPage");
  page.SetupCtrls();
  ExpectCtrls(page, 0, {{kCtrlLabel, 107, "Zephra Serial Ports"}, {kCtrlLabel, 50, "Sonar ID", {}, "Sonar ID number"}},
              "page head");
  ExpectCtrls(page, 6, Header(true), "page header");
  ASSERT_EQ(page.GetCtrls().size(), 1u + 5u + 9u + 8u * (5u + 9u));
  for (unsigned k = 0; k < 4; ++k) {
    for (unsigned j = 0; j < 2; ++j) {
      CZepPort& port = w.GetSonarPort(2 * k + j);
      const std::size_t at = 15 + (2 * k + j) * 14;
      const std::string where = "slot " + std::to_string(k) + " serial " + std::to_string(j);
      EXPECT_EQ(page.GetCtrls()[at].get(), port.m_pLabelCtrl) << where;
      // Both ports of a slot are numbered by the slot.
      ExpectCtrls(page, at + 5, DecodingRow(port, "Zephra", static_cast<int>(k + 1), true), where);
      EXPECT_EQ(port.m_decodeCtrls.GetCount(), 9u) << where;
      EXPECT_EQ(page.GetCtrls()[at]->m_row, page.GetCtrls()[at + 13]->m_row) << where;
    }
  }
  // The page's header does not join the first port's list.
  EXPECT_FALSE(w.GetSonarPort(0).m_decodeCtrls.Contains(page.GetCtrls()[6].get()));
  EXPECT_EQ(w.m_ageSliders.GetCount(), 8u);
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

TEST(SerialPanel, ASecondBuildReplacesTheFirst) {
  PanelWindow panel(8, 3, true);
  CSComm& w = panel.window;
  w.SetName("SerialRebuilt");
  CSonarComm page;
  page.SetOption("SComm", "SerialRebuilt");
  const auto shape = [&] {
    std::vector<std::size_t> counts = {w.GetCtrls().size(), page.GetCtrls().size(), w.m_ageSliders.GetCount(),
                                       w.GetSonarPort(3).m_decodeCtrls.GetCount()};
    for (std::size_t i = 0; i < w.GetLineCount(); ++i) {
      counts.push_back(w.GetLine(i)->m_inputCtrls.GetCount());
      counts.push_back(w.GetLine(i)->m_outputCtrls.GetCount());
    }
    counts.push_back(static_cast<std::size_t>(w.GetCtrls().back()->m_id));
    return counts;
  };
  w.SetupCtrls();
  page.SetupCtrls();
  const auto once = shape();
  w.SetupCtrls();
  page.SetupCtrls();
  EXPECT_EQ(shape(), once);
  // The lists hold the new controls only.
  for (const CECtrl* ctrl : w.GetLine(6)->m_outputCtrls) {
    EXPECT_EQ(w.FindCtrlById(ctrl->m_id), ctrl);
  }
  EXPECT_EQ(w.GetSonarPort(2).m_pBaudCtrl, page.FindCtrl("Zephra 2 Baud"));
}
