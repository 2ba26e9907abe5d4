#include "formats/builtin_codecs.h"

#include <iterator>

#include "formats/cdl.h"
#include "formats/navipack.h"
#include "formats/nmea.h"
#include "formats/octans.h"
#include "formats/simrad.h"
#include "formats/tss.h"
#include "port/codec_registry.h"

namespace {

const BuiltinCodec kDecoders[] = {
    {1, "GPGGA", RuntimeClassOf<CSD_GPGGA>()},
    {2, "GPGGA + ZDA", RuntimeClassOf<CSD_GPGGA_ZDA>()},
    {4, "HEHDT", RuntimeClassOf<CSD_HEHDT>()},
    {5, "OctansAll", RuntimeClassOf<CSD_OctansAll>()},
    {6, "OctansGHPR", RuntimeClassOf<CSD_OctansGHPR>()},
    {7, "OctansHead", RuntimeClassOf<CSD_OctansHead>()},
    {8, "OctansHPR", RuntimeClassOf<CSD_OctansHPR>()},
    {9, "OctansLinear", RuntimeClassOf<CSD_OctansLinear>()},
    {10, "OctansPR", RuntimeClassOf<CSD_OctansPR>()},
    {12, "TSS Std 1", RuntimeClassOf<CSD_TSS1>()},
    {13, "TSS 1 (No Heave)", RuntimeClassOf<CSD_TSS1NOH>()},
    {14, "Octans Std 2", RuntimeClassOf<CSD_TSS2>()},
    {17, "Navi-Pack", RuntimeClassOf<CSD_NaviPack>()},
    {18, "Simrad EM3000", RuntimeClassOf<CSD_S3000>()},
    {19, "CDL Mini Tilt", RuntimeClassOf<CSD_MiniTilt>()},
    {20, "CDL 1", RuntimeClassOf<CSD_CDL1>()},
    {28, "ZDA", RuntimeClassOf<CSD_GPZDA>()},
    {29, "TSS Std 1 + HEHDT", RuntimeClassOf<CSD_TSS1_HEHDT>()},
    {30, "TSS 1(No Heave) + HEHDT", RuntimeClassOf<CSD_TSS1NOH_HEHDT>()},
    {31, "PPS", RuntimeClassOf<CSD_PPS>()},
};

}  // namespace

const BuiltinCodec* BuiltinDecoders(int& count) {
  count = static_cast<int>(std::size(kDecoders));
  return kDecoders;
}

const BuiltinCodec* BuiltinEncoders(int& count) {
  count = 0;
  return nullptr;
}

void RegisterBuiltinDecoders() {
  for (const BuiltinCodec& row : kDecoders) CCodecRegistry::AddDecode(row.name, row.cls);
}

void RegisterBuiltinEncoders() {}
