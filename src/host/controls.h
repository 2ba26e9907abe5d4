// The host's controls as a model: each control has a kind, a width, a label, a
// tooltip, flags, an optional bound variable and callback. A renderer or a
// command drives a control by its label: the entry is written into the bound
// variable, then the callback runs.
#pragma once

#include <functional>
#include <list>
#include <memory>
#include <string>
#include <utility>
#include <variant>
#include <vector>

class CESetObj;

enum CtrlKind : int {
  kCtrlLabel = 0,
  kCtrlText = 32,
  kCtrlValue = 64,
  kCtrlCheck = 256,
  kCtrlCombo = 512,
  kCtrlSlider = 1024,
  kCtrlLamp = 2048,
  kCtrlButton = 4096,
};

enum CtrlFlag : int { kCtrlEnabled = 1, kCtrlShown = 2, kCtrlMarked = 8 };

using CtrlBinding =
    std::variant<std::monostate, unsigned char*, unsigned short*, int*, unsigned*, double*, std::string*>;

class CECtrl {
 public:
  CECtrl(int kind, int width, CtrlBinding binding, std::string label, std::string tooltip);
  virtual ~CECtrl() = default;

  int m_id = 0;  // unique in its window while the panel lives: 1, 2, ... in insertion order
  int m_kind;
  int m_width;
  CtrlBinding m_binding;
  std::string m_label;
  std::string m_tooltip;
  std::string m_text;  // fixed text of a label or button
  int m_flags = kCtrlEnabled | kCtrlShown;
  int m_row = 0;
  int m_column = 0;
  bool m_flex = false;
  int m_display = 0;  // display field of the host's control (-1 = no numeric text)
  unsigned m_redraws = 0;

  void SetFlag(int flag, bool on);
  bool HasFlag(int flag) const { return (m_flags & flag) != 0; }
  void Redraw() { ++m_redraws; }

  void SetCallback(std::function<void()> callback) { m_callback = std::move(callback); }
  void SetCallback(std::function<void(int)> callback, int argument);
  void RunCallback() const;

  // The bound value as the operator sees it.
  virtual std::string GetValueText() const;
  // The operator's entry: written into the bound variable when it fits, then
  // the callback runs. False (and nothing changes) when it does not fit.
  virtual bool SetValueText(const std::string& text);

 protected:
  bool WriteNumber(double value);
  double ReadNumber() const;

 private:
  std::function<void()> m_callback;
};

class CECombo : public CECtrl {
 public:
  using CECtrl::CECtrl;
  void AddString(const std::string& text, long data);
  void AddValue(const std::string& text, long value) { AddString(text, value); }
  // One entry per text, valued by position.
  void LoadSList(const std::list<std::string>& texts);
  // Entries "0" .. "n-1".
  void LoadIndex(int count);
  const std::vector<std::pair<std::string, long>>& GetEntries() const { return m_entries; }

  // The entry's text for the bound value; the entry can be chosen by its text
  // or by its value.
  std::string GetValueText() const override;
  bool SetValueText(const std::string& text) override;

 private:
  std::vector<std::pair<std::string, long>> m_entries;
};

class CEVal : public CECtrl {
 public:
  using CECtrl::CECtrl;
  void SetRange(double low, double high);
  bool SetValueText(const std::string& text) override;

 private:
  bool m_ranged = false;
  double m_low = 0.0;
  double m_high = 0.0;
};

class CESlider : public CECtrl {
 public:
  using CECtrl::CECtrl;
  // The slider's upper end follows this variable.
  void DynRange(const double* maximum) { m_maximum = maximum; }
  double GetMaximum() const { return m_maximum ? *m_maximum : 0.0; }

 private:
  const double* m_maximum = nullptr;
};

// The control side of a window: controls in insertion order, laid out in rows.
class CCtrlCat {
 public:
  virtual ~CCtrlCat() = default;
  virtual void Settings(CESetObj& obj);
  virtual void UpdateCtrls();  // redraw every control
  virtual void ClearCtrls();   // remove every control
  virtual void ShowLevel(int level, int flags);
  virtual void LayoutCtrls();

  CECtrl* InsText(int width, const std::string& text, const std::string& tooltip = "");
  template <class T>
  CECtrl* InsCtrl(int kind, int width, T* binding, const std::string& label, const std::string& tooltip = "") {
    return Insert(kind, width, CtrlBinding(binding), label, tooltip);
  }
  CECtrl* InsBtn(int width, const std::string& text, std::function<void()> callback, const std::string& tooltip = "");
  void NewLn();
  void ShiftX(int dx);
  void ShiftY(int dy, int gap);

  const std::vector<std::unique_ptr<CECtrl>>& GetCtrls() const { return m_ctrls; }
  // The control that takes a value under this name: its label, or "label#n"
  // for the n-th (n >= 2) of several with one label, in panel order.
  // Captions are never counted nor found, nor are controls without a label.
  // Null when there is none.
  CECtrl* FindCtrl(const std::string& name) const;
  CECtrl* FindCtrlById(int id) const;
  // The name FindCtrl finds ctrl by ("label" or "label#n"); empty when there is none.
  std::string CtrlName(const CECtrl& ctrl) const;
  // Drive a control by its name as an operator would; false when there is no
  // such enabled control or the entry does not fit.
  bool SetCtrlValue(const std::string& name, const std::string& text);

 private:
  CECtrl* Insert(int kind, int width, CtrlBinding binding, const std::string& label, const std::string& tooltip);

  std::vector<std::unique_ptr<CECtrl>> m_ctrls;
  int m_nextId = 1;
  int m_row = 0;
  int m_column = 0;
};
