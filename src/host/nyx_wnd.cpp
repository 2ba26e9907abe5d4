#include "host/nyx_wnd.h"

#include <charconv>
#include <iterator>
#include <vector>

NYX_IMPLEMENT_DYNAMIC(CNyxWnd, CObject)

CList_Ptr<CNyxWnd*> CNyxWnd::s_infoRx;
CList_Ptr<CNyxWnd*> CNyxWnd::s_trigRx;
CList_Ptr<CNyxWnd*> CNyxWnd::s_snsrRx;
CList_Ptr<CNyxWnd*> CNyxWnd::s_pollRx;

namespace {
CList_Ptr<CNyxWnd*>& AllWindows() {
  static CList_Ptr<CNyxWnd*> windows;
  return windows;
}

// Deliver to a snapshot, skipping windows that left meanwhile (a receiver may
// destroy another window or leave a list during its own delivery).
template <class Call>
void Deliver(CList_Ptr<CNyxWnd*>& list, Call call) {
  std::lock_guard guard(CNyxWnd::HostLock());
  // The snapshot lives on the stack unless the list is long: records are
  // delivered without an allocation each.
  constexpr std::size_t kOnStack = 32;
  CNyxWnd* onStack[kOnStack];
  std::vector<CNyxWnd*> onHeap;
  CNyxWnd** receivers = onStack;
  std::size_t count = 0;
  for (CNyxWnd* wnd : list) {
    if (count == kOnStack) {
      onHeap.assign(onStack, onStack + count);
      onHeap.insert(onHeap.end(), std::next(list.begin(), static_cast<std::ptrdiff_t>(count)), list.end());
      receivers = onHeap.data();
      count = onHeap.size();
      break;
    }
    onStack[count++] = wnd;
  }
  for (std::size_t i = 0; i < count; ++i) {
    if (list.Contains(receivers[i])) call(receivers[i]);
  }
}
}  // namespace

std::recursive_mutex& CNyxWnd::HostLock() {
  static std::recursive_mutex lock;
  return lock;
}

CNyxWnd::CNyxWnd() {
  std::lock_guard guard(HostLock());
  AllWindows().AddTail(this);
}

CNyxWnd::~CNyxWnd() {
  LeaveReceiverLists();
  std::lock_guard guard(HostLock());
  AllWindows().Remove(this);
}

void CNyxWnd::LeaveReceiverLists() {
  std::lock_guard guard(HostLock());
  s_infoRx.Remove(this);
  s_trigRx.Remove(this);
  s_snsrRx.Remove(this);
  s_pollRx.Remove(this);
}

void CNyxWnd::Join(CList_Ptr<CNyxWnd*>& list, CNyxWnd* wnd) {
  std::lock_guard guard(HostLock());
  if (!list.Contains(wnd)) list.AddTail(wnd);
}

void CNyxWnd::SetOption(const std::string& key, const std::string& value) {
  if (key == "Name") {
    SetName(value);
  } else if (key == "Flags") {
    int flags = 0;
    const char* end = value.data() + value.size();
    const auto result = std::from_chars(value.data(), end, flags);
    if (result.ec == std::errc() && result.ptr == end) m_optionFlags = flags;
  }
}

void CNyxWnd::SetName(const std::string& name) {
  std::lock_guard guard(HostLock());
  m_name = name;
}

void CNyxWnd::SnsrMsg(int kind, void* record) {
  Deliver(s_snsrRx, [&](CNyxWnd* wnd) { wnd->OnSnsrMsg(kind, record); });
}

void CNyxWnd::InfoMsg(int kind, void* data) {
  Deliver(s_infoRx, [&](CNyxWnd* wnd) { wnd->OnInfoMsg(kind, data); });
}

CNyxWnd* CNyxWnd::GetWnd(const std::string& name) {
  std::lock_guard guard(HostLock());
  for (CNyxWnd* wnd : AllWindows()) {
    if (wnd->m_name == name) return wnd;
  }
  return nullptr;
}
