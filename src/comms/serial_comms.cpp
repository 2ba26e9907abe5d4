#include "comms/serial_comms.h"

#include <charconv>
#include <cstdio>
#include <cstring>

#include "host/controls.h"
#include "host/records.h"
#include "host/report.h"
#include "host/settings.h"
#include "port/com_port_map.h"
#include "port/serial_device.h"
#include "time/zda_time.h"

NYX_IMPLEMENT_DYNCREATE(CSComm, CEComm)

namespace {

// More lines than this is a mistake in the option, not a configuration.
constexpr int kMaxLines = 256;
constexpr int kSyncCharPsea = ';';

std::string Format(const char* format, int a, int b = 0) {
  char text[64];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

// Applies a new target to a sonar window.
void ApplyTarget(CTaskData& data) {
  ++data.m_target.m_applied;
  if (data.m_onApplyTarget) data.m_onApplyTarget(data.m_target);
}

}  // namespace

CSComm::CSComm() {
  m_typeName = "Serial";
  SetLineCount(1);
  m_pps.m_pOwner = this;
  Join(s_trigRx, this);
  Join(s_snsrRx, this);
  OpenCommPorts();
}

CSComm::~CSComm() {
  LeaveReceiverLists();
  m_lines.RemoveAll();
}

void CSComm::SetLineCount(int count) {
  m_lines.SetSize(static_cast<std::size_t>(count));
  for (std::size_t i = 0; i < m_lines.GetCount(); ++i) {
    m_lines[i]->m_port.m_index = static_cast<unsigned>(i);
    m_lines[i]->m_port.m_pOwner = this;
  }
}

void CSComm::SetOption(const std::string& key, const std::string& value) {
  CEComm::SetOption(key, value);
  if (key == "nPorts") {
    int count = 0;
    if (!ReadOneInteger(value, count) || count < 0 || count > kMaxLines) return;
    SetLineCount(count);
    m_sonar.AttachPorts();
  } else if (key == "Task") {
    m_pTask = CTask::GetTask(value);
    m_sonar.SetTask(m_pTask);
    if (m_pTask && m_pTask->GetData()) {
      const auto& flags = m_pTask->GetData()->m_outputFlags;
      m_taskOutput = flags[0] != 0 || flags[1] != 0;
    }
  } else if (key == "SonarPorts") {
    m_pSonarWnd = CNyxWnd::GetWnd(value);
  }
}

void CSComm::OnTrigger(double now, double dt) {
  if (CommsEnabled()) {
    int changed = m_sonar.DrainBytes();
    for (const auto& line : m_lines) changed += line->OnTrigger(now, dt);
    changed += m_sonar.ServicePorts(now, dt);
    changed += SendPortsData();
    if (changed != 0) {
      UpdateLabels();
      if (m_pSonarWnd) m_pSonarWnd->UpdateLabels();
    }
  } else if (CTaskData* data = m_pTask ? m_pTask->GetData() : nullptr) {
    // Target data does not pile up while comms are off.
    std::lock_guard guard(data->m_textLock);
    data->m_targetTexts.clear();
  }
  m_sonar.TakeChanges();
}

int CSComm::SendPortsData() {
  CTaskData* data = m_pTask ? m_pTask->GetData() : nullptr;
  if (!data) return 0;
  int handed = 0;
  std::lock_guard guard(data->m_textLock);
  if (CommsEnabled()) {
    for (const auto& line : m_lines) {
      CPort& port = line->m_port;
      if (port.m_encode == 0 || !port.m_pEncode) continue;
      const std::string& name = port.m_pEncode->m_name;
      // A list moves into the first line that takes it; later lines of the
      // same kind find it empty in this cycle.
      if (name == "VKRSTA") {
        handed += line->SendEncodeData(data->m_singleText);
      } else if (name == "VKRTAR" || name == "VKRTR1") {
        handed += line->SendEncodeData(data->m_targetTexts);
      } else if (name == "Tgt/HB JSON Payloads") {
        handed += line->SendEncodeData(data->m_jsonPayloads);
      }
    }
  }
  data->m_singleText.clear();
  data->m_targetTexts.clear();
  data->m_jsonPayloads.clear();
  return handed;
}

void CSComm::SendData(unsigned port, const char* text) {
  if (!CommsEnabled() || port >= m_lines.GetCount() || !text) return;
  m_lines[port]->SendData(text);
  Nyx::Comms(1, "%d: %d bytes <%s>", static_cast<int>(port), static_cast<int>(std::strlen(text)), text);
}

void CSComm::SendData(unsigned port, TX_MSG* msg) {
  if (!CommsEnabled() || port >= m_lines.GetCount() || !msg) return;
  m_lines[port]->SendData(msg);
  const std::string bytes = msg->m_pData && msg->m_nLength > 0 ? std::string(msg->m_pData, static_cast<std::size_t>(msg->m_nLength)) : std::string();
  Nyx::Comms(1, "%d: %d bytes <%s>", static_cast<int>(port), msg->m_nLength, bytes.c_str());
}

void CSComm::PortUpdated(CPort& updated) {
  bool ppsPresent = false;
  for (const auto& line : m_lines) {
    CPort& port = line->m_port;
    if (port.m_decode == 0 || !port.m_pDecode) continue;
    const std::string& name = port.m_pDecode->m_name;
    // The pulse line powers the pulse through DTR; the others keep it low.
    if (name.find("PPS") != std::string::npos) {
      ppsPresent = true;
      m_pps.m_sync = 1;
      line->SetDTR();
      if (&port == &updated) port.m_syncChar = 0;
      break;
    }
    if (name.find("PSea Pressure") != std::string::npos) {
      if (&port == &updated) port.m_syncChar = kSyncCharPsea;
      break;
    }
    line->ClearDTR();
  }
  m_commTime.SetUseGps(ppsPresent ? 1 : 0);
  m_commTime.m_bSyncPcClock = ppsPresent ? 1 : 0;
  m_pps.m_bPresent = ppsPresent;
  for (const auto& line : m_lines) line->RefreshDecoding();
}

void CSComm::EnablePorts(int on) {
  // The lines stay open; their ports and codecs are switched.
  for (const auto& line : m_lines) line->m_port.Enable(on);
  m_sonar.Enable(on);
}

void CSComm::ForEachSonarTask(const std::function<void(CTaskData&)>& apply) {
  for (CTskInf* task : CTask::s_tasks) {
    CTaskData* data = task->GetData();
    if (data && data->m_typeName == "Zephra") apply(*data);
  }
}

void CSComm::OnInfoMsg(int kind, void* data) {
  CEComm::OnInfoMsg(kind, data);
  switch (kind) {
    case kInfoCommsEnable: {
      const int on = static_cast<int>(InfoValueOf(data));
      if ((m_optionFlags & 2) && m_commsEnabled.load() != on) {
        m_commsEnabled = on;
        EnablePorts(on);
      }
      break;
    }
    case kInfoSonarActive: {
      const int active = static_cast<int>(InfoValueOf(data));
      m_sonar.m_sonarActive = active;
      UpdateZephraIDs(active == 0);
      break;
    }
    case kInfoApplySonarRouting:
      OnZepRouting();
      break;
    case kInfoRefreshSonarIds:
      UpdateZephraIDs(true);
      break;
    case kInfoShutdown:
      for (const auto& line : m_lines) line->SetComm(0);
      break;
    case kInfoTargetData: {
      const auto* record = static_cast<const CSnsStreamSCADA*>(data);
      if (!record) break;
      ForEachSonarTask([record](CTaskData& task) {
        task.m_target.m_position = CV3{record->m_x, record->m_y};
        task.m_target.m_positionFlag = 1;
        task.m_target.m_depth = record->m_z;
        task.m_target.m_pingControl = {record->m_flagA, 0, record->m_flagB};
        ApplyTarget(task);
      });
      break;
    }
    case kInfoStallPing: {
      const auto* record = static_cast<const CSnsStreamStallPing*>(data);
      if (!record) break;
      ForEachSonarTask([record](CTaskData& task) { task.m_target.m_pingControl = {record->m_flagB, 0, record->m_flagA}; });
      break;
    }
    case kInfoPingControl: {
      const auto* value = static_cast<const unsigned char*>(data);
      if (!value) break;
      ForEachSonarTask([value](CTaskData& task) { task.m_target.m_pingControl = {*value, *value, 0}; });
      break;
    }
    default:
      break;
  }
}

void CSComm::OnSnsrMsg(int kind, void* record) {
  const auto* snsr = static_cast<const CSnsr*>(record);
  if (!snsr) return;
  // Every framed message reaches the host as kind 0 before its decoder runs,
  // so this is the arrival time of the message a ZDA decoder is decoding now.
  if (kind == kSnsrInf) m_zdaFallbackTime = snsr->m_time * 1e6;
  if (snsr->m_type == kSnsrPps) m_pps.NewSerialPulse(snsr->m_time);
}

// Without a pulse the ZDA's arrival stands in: host time is the base of the
// serial pulses this model pairs, and sonar seconds go only to m_defaultTime.
void CSComm::ProcessZDA(CTm80& gpsTime, const SYSTEMTIME& utc) {
  ProcessZdaTime(m_commTime, m_pps, m_zdaFallbackTime, gpsTime, utc, 3027);
}

void CSComm::LayoutWnd(int how) {
  if (!WindowExists()) return;
  if (m_pSonarWnd) m_pSonarWnd->LayoutWnd(how);
  LayoutCtrls();
  CNyxWnd::UpdateFlex();
  CEComm::LayoutWnd(how);
}

void CSComm::Settings(CESetObj& obj) {
  CEComm::Settings(obj);
  obj.Item("CommsEnabled", m_bEnableComms);
  m_pps.Settings(obj);
  if (obj.IsStoring()) {
    SaveSet(obj.GetSet());
  } else {
    // Loading sets the live flag directly, without the enable broadcast.
    m_commsEnabled = m_bEnableComms;
    LoadSet(obj.GetSet());
  }
}

void CSComm::SaveSet(CESet& set) {
  CESetCol* col = set.AddCol("SComm");
  for (std::size_t i = 0; i < m_lines.GetCount(); ++i) {
    m_lines[i]->Settings(*col->AddObj(Format("Port%02d", static_cast<int>(i + 1)), "No Data"));
  }
  col->AddObj("ZephraPorts", "No Data")->Item("Routing", m_sonar.m_routing);
  for (int k = 0; k < kSonarSlots; ++k) {
    for (int j = 0; j < 2; ++j) {
      m_sonar.Port(static_cast<std::size_t>(2 * k + j)).Settings(
          *col->AddObj(Format("ZepPort%02d:Serial%02d", k + 1, j), "No Data"));
    }
  }
}

void CSComm::LoadSet(CESet& set) {
  if (CESetCol* col = set.GetCol("SComm")) {
    for (std::size_t i = 0; i < m_lines.GetCount(); ++i) {
      if (CESetObj* obj = col->GetObj(Format("Port%02d", static_cast<int>(i + 1)))) m_lines[i]->Settings(*obj);
    }
    if (CESetObj* obj = col->GetObj("ZephraPorts")) obj->Item("Routing", m_sonar.m_routing);
    for (int k = 0; k < kSonarSlots; ++k) {
      for (int j = 0; j < 2; ++j) {
        if (CESetObj* obj = col->GetObj(Format("ZepPort%02d:Serial%02d", k + 1, j))) {
          m_sonar.Port(static_cast<std::size_t>(2 * k + j)).Settings(*obj);
        }
      }
    }
  }
  OnZepRouting();
  UpdateCtrls();
}

std::vector<int> CSComm::StoredComPorts(const CESet& set) {
  std::vector<int> coms;
  const CESetCol* col = set.GetCol("SComm");
  for (int i = 1; col; ++i) {
    const CESetObj* obj = col->GetObj(Format("Port%02d", i));
    if (!obj) break;
    long long com = 0;
    for (const auto& item : obj->GetItems()) {
      if (item.key != "CommPort") continue;
      const char* end = item.value.data() + item.value.size();
      long long value = 0;
      const auto result = std::from_chars(item.value.data(), end, value);
      if (!item.value.empty() && result.ec == std::errc() && result.ptr == end) com = value;
    }
    coms.push_back(static_cast<int>(com));
  }
  return coms;
}

void CSComm::OpenCommPorts() {
  m_comPorts.clear();
  for (int n = 1; n <= kMaxComPort; ++n) {
    if (SerialDevice::Probe(ComPortMap::Path(n))) m_comPorts.push_back(n);
  }
}

void CSComm::AddCommPortList(CECombo* combo, const std::string& prefix) {
  if (!combo) return;
  for (const int n : m_comPorts) combo->AddValue(prefix + std::to_string(n), n);
}

void CSComm::EnableCtrl(CECtrl* ctrl, int on) {
  if (!ctrl) return;
  ctrl->SetFlag(kCtrlEnabled, on != 0);
  if (WindowExists()) ctrl->Redraw();
}

void CSComm::ShowCtrl(CECtrl* ctrl, int on) {
  if (!ctrl) return;
  ctrl->SetFlag(kCtrlShown, on != 0);
  if (WindowExists()) ctrl->Redraw();
}

void CSComm::InitZepRS232(int sonarId) {
  // The routing combos list the COM ports present now.
  OpenCommPorts();
  m_sonar.InitZepRS232(sonarId);
}
