#include "port/codec.h"

NYX_IMPLEMENT_DYNCREATE(CDecode, CObject)
NYX_IMPLEMENT_DYNCREATE(CEncode, CObject)

int CDecode::DecodeMsg(double, std::string&, int) { return kDecodeBad; }
int CDecode::DecodeByte(double, unsigned char, std::string&, double&) { return 0; }
void CDecode::Settings(CESetObj&) {}
void CDecode::Update() {}
void CDecode::Enable(int) {}
void CDecode::OnTrigger(double, double) {}

CEncode::~CEncode() {
  std::lock_guard guard(m_lock);
  m_outgoing.clear();
  m_second.clear();
}

int CEncode::EncodeA(int, int, std::string&, std::list<std::string>*, int) { return 0; }
int CEncode::EncodeB(int, int, std::string&, std::list<std::string>*, int) { return 0; }
int CEncode::EncodeC(int, int, std::string&, std::list<std::string>*, int) { return 0; }
void CEncode::Settings(CESetObj&) {}
void CEncode::Update() {}
void CEncode::Enable(int) {}
