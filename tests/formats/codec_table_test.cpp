// The built-in codec tables. Ports store registry indices in settings files, so
// every row's index and name is part of the file format.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "comms/ecomm.h"
#include "formats/builtin_codecs.h"
#include "port/codec.h"

namespace {

struct Row {
  int index;
  std::string name;
  std::string cls;
};

const std::vector<Row> kFinalDecoders = {
    {1, "GPGGA", "CSD_GPGGA"},
    {2, "GPGGA + ZDA", "CSD_GPGGA_ZDA"},
    {3, "Digi", "CSD_Digi"},
    {4, "HEHDT", "CSD_HEHDT"},
    {5, "OctansAll", "CSD_OctansAll"},
    {6, "OctansGHPR", "CSD_OctansGHPR"},
    {7, "OctansHead", "CSD_OctansHead"},
    {8, "OctansHPR", "CSD_OctansHPR"},
    {9, "OctansLinear", "CSD_OctansLinear"},
    {10, "OctansPR", "CSD_OctansPR"},
    {11, "SonDepth", "CSD_Sondepth"},
    {12, "TSS Std 1", "CSD_TSS1"},
    {13, "TSS 1 (No Heave)", "CSD_TSS1NOH"},
    {14, "Octans Std 2", "CSD_TSS2"},
    {15, "AML Smart SVP", "CSD_AML_SVP"},
    {16, "Speed of Sound", "CSD_SOS"},
    {17, "Navi-Pack", "CSD_NaviPack"},
    {18, "Simrad EM3000", "CSD_S3000"},
    {19, "CDL Mini Tilt", "CSD_MiniTilt"},
    {20, "CDL 1", "CSD_CDL1"},
    {21, "VKR DTS", "CDecodeTELDataToHalde"},
    {22, "SP HW", "CDecodeStallPingHardWare"},
    {23, "SP SW", "CDecodeStallPingSoftWare"},
    {24, "SP String", "CDecodeStallPingString"},
    {25, "Annotate", "CSD_ANNOTATE"},
    {26, "TSS Altimeter 1", "CSD_TSSAltimeter1"},
    {27, "Ulvertech Bathy", "CSD_UlvertechBathy"},
    {28, "ZDA", "CSD_GPZDA"},
    {29, "TSS Std 1 + HEHDT", "CSD_TSS1_HEHDT"},
    {30, "TSS 1(No Heave) + HEHDT", "CSD_TSS1NOH_HEHDT"},
    {31, "PPS", "CSD_PPS"},
    {32, "PSea Sensors", "CSD_PSea"},
    {33, "PSea Pressure", "CSD_PSeaPressure"},
    {34, "NMEA RMC", "CSD_NMEA_RMC"},
    {35, "NMEA GLL", "CSD_NMEA_GLL"},
    {36, "NMEA VTG", "CSD_NMEA_VTG"},
    {37, "NMEA Heading", "CSD_NMEA_Heading"},
    {38, "NMEA Depth", "CSD_NMEA_Depth"},
    {39, "NMEA MTW", "CSD_NMEA_MTW"},
    {40, "NMEA 0183", "CSD_NMEA0183"},
};

const std::vector<Row> kFinalEncoders = {
    {1, "PVKRTAR", "CEncodeTargetDataFromHalde"},
    {2, "PVKRTR1", "CEncodeTargetData1"},
};

std::vector<Row> TableRows(const BuiltinCodec* rows, int count) {
  std::vector<Row> out;
  for (int i = 0; i < count; ++i) out.push_back({rows[i].index, rows[i].name, rows[i].cls->m_lpszClassName});
  return out;
}

// The registry's first rows: the built-ins come first, whatever tests of the
// same process registered after them.
template <class Entry>
std::vector<Row> RegistryRows(const CDSArray<Entry>& registry, std::size_t count) {
  std::vector<Row> out;
  for (const auto& entry : registry) {
    if (out.size() == count) break;
    out.push_back({entry->m_index, entry->m_name, entry->m_pClass->m_lpszClassName});
  }
  return out;
}

template <class Names>
std::vector<std::string> FirstNames(const Names& names, std::size_t count) {
  return {names.begin(), std::next(names.begin(), static_cast<long>(std::min(count, names.size())))};
}

bool operator==(const Row& a, const Row& b) { return a.index == b.index && a.name == b.name && a.cls == b.cls; }

void PrintTo(const Row& row, std::ostream* os) { *os << row.index << " \"" << row.name << "\" " << row.cls; }

}  // namespace

// The indices are stored in settings files: the whole table is pinned.
TEST(CodecTable, FinalDecoderTable) {
  int count = 0;
  const BuiltinCodec* rows = BuiltinDecoders(count);
  ASSERT_EQ(count, 40);
  EXPECT_EQ(TableRows(rows, count), kFinalDecoders);
  CEComm wnd;
  EXPECT_EQ(RegistryRows(CEComm::s_decodes, kFinalDecoders.size()), kFinalDecoders);
  const std::vector<std::string> names = FirstNames(CEComm::s_decodes_names, 41);
  ASSERT_EQ(names.size(), 41u);
  EXPECT_EQ(names.front(), "<none>");
  EXPECT_EQ(names.back(), "NMEA 0183");
}

TEST(CodecTable, EncoderTable) {
  int count = 0;
  const BuiltinCodec* rows = BuiltinEncoders(count);
  EXPECT_EQ(TableRows(rows, count), kFinalEncoders);
  CEComm wnd;
  EXPECT_EQ(RegistryRows(CEComm::s_encodes, kFinalEncoders.size()), kFinalEncoders);
  EXPECT_EQ(FirstNames(CEComm::s_encodes_names, 3), (std::vector<std::string>{"<none>", "PVKRTAR", "PVKRTR1"}));
}

// A registry name and the object's own name may differ; the controllers test
// the own name.
TEST(CodecTable, OwnNamesOfTheseFormats) {
  const std::pair<const char*, const char*> names[] = {
      {"Digi", "Parascientific Digiquartz"},   {"SonDepth", "Sonadyne depth ($SONDEP)"},
      {"AML Smart SVP", "AML Smart SVP"},      {"Speed of Sound", "Speed of Sound"},
      {"VKR DTS", "VKRDTS"},                   {"SP HW", "VKRSPHW"},
      {"SP SW", "VKRSPSW"},                    {"SP String", "VKRSTP"},
      {"Annotate", "Annotate"},                {"TSS Altimeter 1", "TSS Altimeter 1"},
      {"Ulvertech Bathy", "Ulvertech Bathy"},  {"PSea Sensors", "PSea Sensors"},
      {"PSea Pressure", "PSea Pressure"},      {"NMEA RMC", "NMEA RMC"},
      {"NMEA GLL", "NMEA GLL"},                {"NMEA VTG", "NMEA VTG"},
      {"NMEA Heading", "NMEA Heading"},        {"NMEA Depth", "NMEA Depth"},
      {"NMEA MTW", "NMEA MTW"},                {"NMEA 0183", "NMEA 0183 + ZDA"},
  };
  CEComm wnd;
  for (const auto& [registryName, ownName] : names) {
    const CDecodeType* entry = CEComm::FindDecode(registryName);
    ASSERT_NE(entry, nullptr) << registryName;
    std::unique_ptr<CDecode> decoder(static_cast<CDecode*>(entry->m_pClass->CreateObject()));
    ASSERT_TRUE(decoder) << registryName;
    EXPECT_EQ(decoder->m_name, ownName);
    EXPECT_EQ(decoder->m_expectedParts, 1) << registryName;
  }
}
