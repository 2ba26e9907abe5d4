#include "formats/builtin_codecs.h"

#include <iterator>

#include "formats/altimeter.h"
#include "formats/annotate.h"
#include "formats/cdl.h"
#include "formats/depth.h"
#include "formats/navipack.h"
#include "formats/nmea.h"
#include "formats/nmea_0183.h"
#include "formats/nmea_heading.h"
#include "formats/nmea_navigation.h"
#include "formats/nmea_sounder.h"
#include "formats/octans.h"
#include "formats/proprietary.h"
#include "formats/psea.h"
#include "formats/simrad.h"
#include "formats/sound_speed.h"
#include "formats/target_encoders.h"
#include "formats/tss.h"
#include "port/codec_registry.h"

namespace {

const BuiltinCodec kDecoders[] = {
    {1, "GPGGA", RuntimeClassOf<CSD_GPGGA>()},
    {2, "GPGGA + ZDA", RuntimeClassOf<CSD_GPGGA_ZDA>()},
    {3, "Digi", RuntimeClassOf<CSD_Digi>()},
    {4, "HEHDT", RuntimeClassOf<CSD_HEHDT>()},
    {5, "OctansAll", RuntimeClassOf<CSD_OctansAll>()},
    {6, "OctansGHPR", RuntimeClassOf<CSD_OctansGHPR>()},
    {7, "OctansHead", RuntimeClassOf<CSD_OctansHead>()},
    {8, "OctansHPR", RuntimeClassOf<CSD_OctansHPR>()},
    {9, "OctansLinear", RuntimeClassOf<CSD_OctansLinear>()},
    {10, "OctansPR", RuntimeClassOf<CSD_OctansPR>()},
    {11, "SonDepth", RuntimeClassOf<CSD_Sondepth>()},
    {12, "TSS Std 1", RuntimeClassOf<CSD_TSS1>()},
    {13, "TSS 1 (No Heave)", RuntimeClassOf<CSD_TSS1NOH>()},
    {14, "Octans Std 2", RuntimeClassOf<CSD_TSS2>()},
    {15, "AML Smart SVP", RuntimeClassOf<CSD_AML_SVP>()},
    {16, "Speed of Sound", RuntimeClassOf<CSD_SOS>()},
    {17, "Navi-Pack", RuntimeClassOf<CSD_NaviPack>()},
    {18, "Simrad EM3000", RuntimeClassOf<CSD_S3000>()},
    {19, "CDL Mini Tilt", RuntimeClassOf<CSD_MiniTilt>()},
    {20, "CDL 1", RuntimeClassOf<CSD_CDL1>()},
    {21, "VKR DTS", RuntimeClassOf<CDecodeTELDataToHalde>()},
    {22, "SP HW", RuntimeClassOf<CDecodeStallPingHardWare>()},
    {23, "SP SW", RuntimeClassOf<CDecodeStallPingSoftWare>()},
    {24, "SP String", RuntimeClassOf<CDecodeStallPingString>()},
    {25, "Annotate", RuntimeClassOf<CSD_ANNOTATE>()},
    {26, "TSS Altimeter 1", RuntimeClassOf<CSD_TSSAltimeter1>()},
    {27, "Ulvertech Bathy", RuntimeClassOf<CSD_UlvertechBathy>()},
    {28, "ZDA", RuntimeClassOf<CSD_GPZDA>()},
    {29, "TSS Std 1 + HEHDT", RuntimeClassOf<CSD_TSS1_HEHDT>()},
    {30, "TSS 1(No Heave) + HEHDT", RuntimeClassOf<CSD_TSS1NOH_HEHDT>()},
    {31, "PPS", RuntimeClassOf<CSD_PPS>()},
    {32, "PSea Sensors", RuntimeClassOf<CSD_PSea>()},
    {33, "PSea Pressure", RuntimeClassOf<CSD_PSeaPressure>()},
    {34, "NMEA RMC", RuntimeClassOf<CSD_NMEA_RMC>()},
    {35, "NMEA GLL", RuntimeClassOf<CSD_NMEA_GLL>()},
    {36, "NMEA VTG", RuntimeClassOf<CSD_NMEA_VTG>()},
    {37, "NMEA Heading", RuntimeClassOf<CSD_NMEA_Heading>()},
    {38, "NMEA Depth", RuntimeClassOf<CSD_NMEA_Depth>()},
    {39, "NMEA MTW", RuntimeClassOf<CSD_NMEA_MTW>()},
    {40, "NMEA 0183", RuntimeClassOf<CSD_NMEA0183>()},
};

const BuiltinCodec kEncoders[] = {
    {1, "PVKRTAR", RuntimeClassOf<CEncodeTargetDataFromHalde>()},
    {2, "PVKRTR1", RuntimeClassOf<CEncodeTargetData1>()},
};

}  // namespace

const BuiltinCodec* BuiltinDecoders(int& count) {
  count = static_cast<int>(std::size(kDecoders));
  return kDecoders;
}

const BuiltinCodec* BuiltinEncoders(int& count) {
  count = static_cast<int>(std::size(kEncoders));
  return kEncoders;
}

void RegisterBuiltinDecoders() {
  for (const BuiltinCodec& row : kDecoders) CCodecRegistry::AddDecode(row.name, row.cls);
}

void RegisterBuiltinEncoders() {
  for (const BuiltinCodec& row : kEncoders) CCodecRegistry::AddEncode(row.name, row.cls);
}
