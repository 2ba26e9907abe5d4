#include "formats/builtin_codecs.h"

#include <iterator>

#include "formats/nmea.h"
#include "port/codec_registry.h"

namespace {

const BuiltinCodec kDecoders[] = {
    {1, "GPGGA", RuntimeClassOf<CSD_GPGGA>()},
    {2, "GPGGA + ZDA", RuntimeClassOf<CSD_GPGGA_ZDA>()},
    {28, "ZDA", RuntimeClassOf<CSD_GPZDA>()},
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
