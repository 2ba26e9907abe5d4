#include "host/controls.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace {

bool ParseNumber(const std::string& text, double& value) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  return result.ec == std::errc() && result.ptr == end;
}

template <class T>
bool FitsIn(double value) {
  return std::isfinite(value) && value >= static_cast<double>(std::numeric_limits<T>::lowest()) &&
         value <= static_cast<double>(std::numeric_limits<T>::max());
}

}  // namespace

CECtrl::CECtrl(int kind, int width, CtrlBinding binding, std::string label, std::string tooltip)
    : m_kind(kind), m_width(width), m_binding(binding), m_label(std::move(label)), m_tooltip(std::move(tooltip)) {}

void CECtrl::SetFlag(int flag, bool on) {
  if (on) {
    m_flags |= flag;
  } else {
    m_flags &= ~flag;
  }
}

void CECtrl::SetCallback(std::function<void(int)> callback, int argument) {
  m_callback = [callback = std::move(callback), argument] { callback(argument); };
}

void CECtrl::RunCallback() const {
  if (m_callback) m_callback();
}

double CECtrl::ReadNumber() const {
  return std::visit(
      [](auto v) -> double {
        using V = decltype(v);
        if constexpr (std::is_same_v<V, std::monostate> || std::is_same_v<V, std::string*>) {
          return 0.0;
        } else {
          return static_cast<double>(*v);
        }
      },
      m_binding);
}

bool CECtrl::WriteNumber(double value) {
  bool written = false;
  std::visit(
      [&](auto v) {
        using V = decltype(v);
        if constexpr (std::is_same_v<V, std::monostate> || std::is_same_v<V, std::string*>) {
          return;
        } else {
          using T = std::remove_pointer_t<V>;
          if (!FitsIn<T>(value)) return;
          if constexpr (!std::is_floating_point_v<T>) {
            if (value != std::trunc(value)) return;
          }
          *v = static_cast<T>(value);
          written = true;
        }
      },
      m_binding);
  return written;
}

std::string CECtrl::GetValueText() const {
  if (auto* text = std::get_if<std::string*>(&m_binding)) return **text;
  if (std::holds_alternative<std::monostate>(m_binding)) return m_text;
  const double value = ReadNumber();
  if (std::holds_alternative<double*>(m_binding)) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
  }
  return std::to_string(static_cast<long long>(value));
}

bool CECtrl::SetValueText(const std::string& text) {
  if (auto* bound = std::get_if<std::string*>(&m_binding)) {
    **bound = text;
  } else if (!std::holds_alternative<std::monostate>(m_binding)) {
    double value = 0.0;
    if (!ParseNumber(text, value) || !WriteNumber(value)) return false;
  }
  RunCallback();
  return true;
}

void CECombo::AddString(const std::string& text, long data) { m_entries.emplace_back(text, data); }

void CECombo::LoadSList(const std::list<std::string>& texts) {
  long index = 0;
  for (const std::string& text : texts) AddString(text, index++);
}

void CECombo::LoadIndex(int count) {
  for (int i = 0; i < count; ++i) AddString(std::to_string(i), i);
}

std::string CECombo::GetValueText() const {
  const double value = ReadNumber();
  for (const auto& [text, data] : GetEntries()) {
    if (static_cast<double>(data) == value) return text;
  }
  return CECtrl::GetValueText();
}

bool CECombo::SetValueText(const std::string& text) {
  for (const auto& [entry, data] : m_entries) {
    if (entry == text) {
      if (!WriteNumber(static_cast<double>(data))) return false;
      RunCallback();
      return true;
    }
  }
  double value = 0.0;
  if (!ParseNumber(text, value)) return false;
  for (const auto& entry : m_entries) {
    if (static_cast<double>(entry.second) == value) return CECtrl::SetValueText(text);
  }
  return false;
}

void CEVal::SetRange(double low, double high) {
  m_ranged = true;
  m_low = low;
  m_high = high;
}

bool CEVal::SetValueText(const std::string& text) {
  double value = 0.0;
  if (m_ranged && (!ParseNumber(text, value) || value < m_low || value > m_high)) return false;
  return CECtrl::SetValueText(text);
}

void CCtrlCat::Settings(CESetObj&) {}

void CCtrlCat::UpdateCtrls() {
  for (auto& ctrl : m_ctrls) ctrl->Redraw();
}

void CCtrlCat::ClearCtrls() {
  m_ctrls.clear();
  m_nextId = 1;
  m_row = 0;
  m_column = 0;
}

void CCtrlCat::ShowLevel(int, int) {}

void CCtrlCat::LayoutCtrls() {}

CECtrl* CCtrlCat::Insert(int kind, int width, CtrlBinding binding, const std::string& label, const std::string& tooltip) {
  std::unique_ptr<CECtrl> ctrl;
  switch (kind) {
    case kCtrlCombo: ctrl = std::make_unique<CECombo>(kind, width, binding, label, tooltip); break;
    case kCtrlValue: ctrl = std::make_unique<CEVal>(kind, width, binding, label, tooltip); break;
    case kCtrlSlider: ctrl = std::make_unique<CESlider>(kind, width, binding, label, tooltip); break;
    default: ctrl = std::make_unique<CECtrl>(kind, width, binding, label, tooltip); break;
  }
  ctrl->m_id = m_nextId++;
  ctrl->m_row = m_row;
  ctrl->m_column = m_column++;
  m_ctrls.push_back(std::move(ctrl));
  return m_ctrls.back().get();
}

CECtrl* CCtrlCat::InsText(int width, const std::string& text, const std::string& tooltip) {
  CECtrl* ctrl = Insert(kCtrlLabel, width, std::monostate{}, text, tooltip);
  ctrl->m_text = text;
  return ctrl;
}

CECtrl* CCtrlCat::InsBtn(int width, const std::string& text, std::function<void()> callback, const std::string& tooltip) {
  CECtrl* ctrl = Insert(kCtrlButton, width, std::monostate{}, text, tooltip);
  ctrl->m_text = text;
  ctrl->SetCallback(std::move(callback));
  return ctrl;
}

void CCtrlCat::NewLn() {
  ++m_row;
  m_column = 0;
}

void CCtrlCat::ShiftX(int) {}

void CCtrlCat::ShiftY(int, int) { NewLn(); }

CECtrl* CCtrlCat::FindCtrl(const std::string& name) const {
  std::string label = name;
  long wanted = 1;
  // A label may hold a '#' of its own: the whole name as a label comes first.
  const auto named = [&](const auto& ctrl) { return ctrl->m_kind != kCtrlLabel && ctrl->m_label == name; };
  const bool exact = std::any_of(m_ctrls.begin(), m_ctrls.end(), named);
  if (const auto hash = name.rfind('#'); !exact && hash != std::string::npos) {
    long n = 0;
    const char* end = name.data() + name.size();
    const auto result = std::from_chars(name.data() + hash + 1, end, n);
    if (result.ec == std::errc() && result.ptr == end && n >= 2 && hash + 1 < name.size()) {
      label = name.substr(0, hash);
      wanted = n;
    }
  }
  if (label.empty()) return nullptr;
  long seen = 0;
  for (const auto& ctrl : m_ctrls) {
    if (ctrl->m_kind == kCtrlLabel || ctrl->m_label != label) continue;
    if (++seen == wanted) return ctrl.get();
  }
  return nullptr;
}

CECtrl* CCtrlCat::FindCtrlById(int id) const {
  for (const auto& ctrl : m_ctrls) {
    if (ctrl->m_id == id) return ctrl.get();
  }
  return nullptr;
}

std::string CCtrlCat::CtrlName(const CECtrl& ctrl) const {
  if (ctrl.m_kind == kCtrlLabel || ctrl.m_label.empty()) return {};
  int seen = 0;
  for (const auto& other : m_ctrls) {
    if (other->m_kind == kCtrlLabel || other->m_label != ctrl.m_label) continue;
    ++seen;
    if (other.get() == &ctrl) break;
  }
  return seen <= 1 ? ctrl.m_label : ctrl.m_label + "#" + std::to_string(seen);
}

bool CCtrlCat::SetCtrlValue(const std::string& name, const std::string& text) {
  CECtrl* ctrl = FindCtrl(name);
  return ctrl && ctrl->HasFlag(kCtrlEnabled) && ctrl->SetValueText(text);
}
