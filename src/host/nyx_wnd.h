// The host window. The host creates windows by runtime class, passes options,
// loads settings, builds panels and then calls the windows in its receiver
// lists: triggers, polls, info and sensor messages.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "host/controls.h"
#include "host/list_ptr.h"
#include "host/runtime_class.h"

// Info message kinds exchanged with the host.
enum InfoKind : int {
  kInfoSonarActive = 100,
  kInfoCommsEnable = 101,
  kInfoShutdown = 104,
  kInfoApplySonarRouting = 106,
  kInfoRefreshSonarIds = 108,
  kInfoSonarPlatformChanged = 271,
  kInfoTargetData = 12001,
  kInfoStallPing = 12003,
  kInfoPingControl = 12004,
  kInfoPingOnDemand = 12005,
  kInfoTriggerPing = 12006,
  kInfoUdpText = 12020,
};

// Integers travel in the place of an info message's data pointer.
inline void* InfoValue(long value) { return reinterpret_cast<void*>(value); }
inline long InfoValueOf(const void* data) { return static_cast<long>(reinterpret_cast<std::intptr_t>(data)); }

class CNyxWnd : public CObject, public CCtrlCat {
  NYX_DECLARE_DYNAMIC(CNyxWnd)
 public:
  CNyxWnd();
  ~CNyxWnd() override;
  CNyxWnd(const CNyxWnd&) = delete;
  CNyxWnd& operator=(const CNyxWnd&) = delete;

  // Host options: "Name" names the window for GetWnd; "Flags" sets the option flags.
  virtual void SetOption(const std::string& key, const std::string& value);
  virtual void SetupCtrls() {}
  virtual void SetDefaults() {}
  virtual void OnTrigger(double /*now*/, double /*dt*/) {}
  virtual void OnPoll(double /*now*/) {}
  virtual void OnInfoMsg(int /*kind*/, void* /*data*/) {}
  virtual void OnSnsrMsg(int /*kind*/, void* /*record*/) {}
  virtual void UpdateLabels() {}
  virtual void LayoutWnd(int /*how*/) {}
  virtual std::string GetTopic() const { return m_typeName; }

  // Deliver to every receiver before returning, under the host lock.
  static void SnsrMsg(int kind, void* record);
  static void InfoMsg(int kind, void* data);
  // The window of that name, or null.
  static CNyxWnd* GetWnd(const std::string& name);
  static void UpdateFlex() {}

  // Serialises the host's calls into windows: deliveries take it, and the host
  // holds it around triggers, polls, options, settings and control actions.
  // Never hold it while destroying a window whose threads deliver messages.
  static std::recursive_mutex& HostLock();

  static CList_Ptr<CNyxWnd*> s_infoRx;
  static CList_Ptr<CNyxWnd*> s_trigRx;
  static CList_Ptr<CNyxWnd*> s_snsrRx;
  static CList_Ptr<CNyxWnd*> s_pollRx;

  const std::string& GetName() const { return m_name; }
  void SetName(const std::string& name);
  const std::string& GetTypeName() const { return m_typeName; }
  int GetOptionFlags() const { return m_optionFlags; }
  bool WindowExists() const { return m_windowExists; }
  void SetWindowExists(bool exists) { m_windowExists = exists; }

  // Age sliders of every panel row; the host moves them on each refresh.
  CList_Ptr<CECtrl*> m_ageSliders;

 protected:
  // Leave every receiver list; concrete windows call it first in their
  // destructor so that no delivery reaches a half-destroyed window.
  void LeaveReceiverLists();
  static void Join(CList_Ptr<CNyxWnd*>& list, CNyxWnd* wnd);

  std::string m_typeName;
  // Value 2 lets the window take the comms-enable broadcast.
  int m_optionFlags = 2;

 private:
  std::string m_name;
  bool m_windowExists = false;
};
