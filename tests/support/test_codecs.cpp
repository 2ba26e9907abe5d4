#include "support/test_codecs.h"

#include <gtest/gtest.h>

#include "comms/ecomm.h"

NYX_IMPLEMENT_DYNCREATE(TestTargetEncoder, CEncode)
NYX_IMPLEMENT_DYNCREATE(TestStatusEncoder, CEncode)
NYX_IMPLEMENT_DYNCREATE(TestPseaPressureDecoder, CDecode)

int RegisterTestDecoder(const std::string& name, const CRuntimeClass* cls) {
  CEComm::AddDecode(name, cls);
  const CDecodeType* type = CEComm::FindDecode(name);
  EXPECT_NE(type, nullptr) << name;
  return type ? type->m_index : 0;
}

int RegisterTestEncoder(const std::string& name, const CRuntimeClass* cls) {
  CEComm::AddEncode(name, cls);
  const CEncodeType* type = CEComm::FindEncode(name);
  EXPECT_NE(type, nullptr) << name;
  return type ? type->m_index : 0;
}

int DecoderIndex(const std::string& name) {
  const CDecodeType* type = CEComm::FindDecode(name);
  EXPECT_NE(type, nullptr) << name;
  return type ? type->m_index : 0;
}
