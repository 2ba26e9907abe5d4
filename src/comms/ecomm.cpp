#include "comms/ecomm.h"

#include <cstdio>

#include "formats/builtin_codecs.h"

NYX_IMPLEMENT_DYNCREATE(CEComm, CNyxComm)

namespace {

const std::map<int, std::string>& SyncCharacterNames() {
  static const std::map<int, std::string> names = {
      {0, "<NUL>"}, {1, "<SOH>"}, {2, "<STX>"}, {3, "<ETX>"}, {4, "<EOT>"}, {8, "<BS>"},  {9, "<HT>"},
      {10, "<LF>"}, {11, "<VT>"}, {12, "<FF>"}, {13, "<CR>"}, {16, "<DLE>"}, {17, "<DC1>"}, {18, "<DC2>"},
      {19, "<DC3>"}, {20, "<DC4>"}, {23, "<ETB>"}, {26, "<SUB>"}, {32, "[Space]"}, {33, "!"}, {34, "\""},
      {35, "#"}, {36, "$"}, {37, "%"}, {38, "&"}, {39, "'"}, {40, "("}, {41, ")"}, {42, "*"}, {43, "+"},
      {44, ","}, {45, "-"}, {46, "."}, {47, "/"}, {58, ":"}, {59, ";"}, {60, "<"}, {61, "="}, {62, ">"},
      {63, "?"}};
  return names;
}

}  // namespace

CEComm::CEComm() : m_syncNames(SyncCharacterNames()) {
  m_typeName = "EComm";
  InitDecode();
  InitEncode();
  Join(s_infoRx, this);
}

// The registries live as long as the process: filled once, in their fixed
// order, by the first window (or InitDecode), and never emptied, so that a
// port may choose a codec whatever windows have come and gone.
CEComm::~CEComm() { LeaveReceiverLists(); }

CEComm& CEComm::operator=(const CEComm& other) {
  if (this == &other) return *this;
  m_typeName = other.m_typeName;
  m_optionFlags = other.m_optionFlags;
  m_nBanks = other.m_nBanks;
  m_bEnableComms = other.m_bEnableComms;
  m_syncNames = other.m_syncNames;
  return *this;
}

void CEComm::InitDecode() {
  if (!s_decodes_names.empty()) return;
  s_decodes_names.push_back("<none>");
  RegisterBuiltinDecoders();
}

void CEComm::InitEncode() {
  if (!s_encodes_names.empty()) return;
  s_encodes_names.push_back("<none>");
  RegisterBuiltinEncoders();
}

bool CEComm::ReadOneInteger(const std::string& text, int& value) {
  int parsed = 0;
  char trailing = 0;
  if (std::sscanf(text.c_str(), "%d%c", &parsed, &trailing) != 1) return false;
  value = parsed;
  return true;
}

void CEComm::SetOption(const std::string& key, const std::string& value) {
  CNyxComm::SetOption(key, value);
  if (key == "nBanks") ReadOneInteger(value, m_nBanks);
}

void CEComm::OnInfoMsg(int kind, void* data) {
  if (kind == kInfoCommsEnable && (m_optionFlags & 2)) {
    m_bEnableComms = static_cast<int>(InfoValueOf(data));
    UpdateCtrls();
  }
}

void CEComm::OnEnableBtn() { CNyxWnd::InfoMsg(kInfoCommsEnable, InfoValue(m_bEnableComms)); }

void CEComm::SendData(unsigned, const char*) {}
void CEComm::SendData(unsigned, TX_MSG*) {}
void CEComm::NewData(unsigned, double, std::string) {}
void CEComm::SendBaud(unsigned) {}
void CEComm::ProcessZDA(CTm80&, const SYSTEMTIME&) {}
void CEComm::PortUpdated(CPort&) {}

int CEComm::FindSyncChar(const std::string& name) const {
  int code = -1;
  for (const auto& [value, text] : m_syncNames) {
    if (text == name) code = value;
  }
  return code;
}
