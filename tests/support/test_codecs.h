// Codecs that tests register next to the built-in ones, after them: the
// registries, once filled, live as long as the process.
#pragma once

#include <string>
#include <vector>

#include "port/codec.h"

// An output marked by the name the serial window sends target texts to.
class TestTargetEncoder : public CEncode {
  NYX_DECLARE_DYNCREATE(TestTargetEncoder)
 public:
  TestTargetEncoder() { m_name = "VKRTAR"; }
};

// An output marked by the name the serial window sends the single status text to.
class TestStatusEncoder : public CEncode {
  NYX_DECLARE_DYNCREATE(TestStatusEncoder)
 public:
  TestStatusEncoder() { m_name = "VKRSTA"; }
};

// A decoder named as the polled pressure sensor, which the serial window frames with ';'.
class TestPseaPressureDecoder : public CDecode {
  NYX_DECLARE_DYNCREATE(TestPseaPressureDecoder)
 public:
  TestPseaPressureDecoder() { m_name = "PSea Pressure"; }
  int DecodeMsg(double, std::string&, int) override { return kDecodeOk; }
};

// Keeps every byte it is given in Binary mode.
class ByteRecorder : public CDecode {
 public:
  int DecodeByte(double time, unsigned char byte, std::string&, double&) override {
    bytes.push_back(byte);
    times.push_back(time);
    return 0;
  }
  std::vector<unsigned char> bytes;
  std::vector<double> times;
};

// Registers the codec under a test name; its 1-based registry index.
int RegisterTestDecoder(const std::string& name, const CRuntimeClass* cls);
int RegisterTestEncoder(const std::string& name, const CRuntimeClass* cls);
// The registry index of a decoder name; fails the test when it is missing.
int DecoderIndex(const std::string& name);
