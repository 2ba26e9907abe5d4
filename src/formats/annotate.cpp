#include "formats/annotate.h"

#include "host/nyx_wnd.h"
#include "host/records.h"

NYX_IMPLEMENT_DYNCREATE(CSD_ANNOTATE, CDecode)

CSD_ANNOTATE::CSD_ANNOTATE() { m_name = "Annotate"; }

int CSD_ANNOTATE::DecodeMsg(double time, std::string& msg, int bank) {
  CSnsrInf record;
  record.Stamp(time, bank);
  record.m_type = kSnsrAnnotation;
  record.m_text = msg;
  CNyxWnd::SnsrMsg(kSnsrAnnotation, &record);
  return kDecodeOk;
}
