#include "host/task.h"

#include <vector>

CList_Ptr<CTskInf*> CTask::s_tasks;

namespace {
// Owns the tasks that s_tasks lists.
std::vector<std::unique_ptr<CTskInf>>& OwnedTasks() {
  static std::vector<std::unique_ptr<CTskInf>> tasks;
  return tasks;
}

// Type codes of the host's sonar models: 0x0300-0x03FF are the 310 family, of
// which 0x0310-0x031F are 310XR; codes with bit 15 set are Mk2 platforms.
constexpr std::uint16_t kFamilyMask = 0x7FF0;
constexpr std::uint16_t k310XR = 0x0310;
constexpr std::uint16_t kMk2Bit = 0x8000;
}  // namespace

CTskInf* CTask::GetTask(const std::string& name) {
  for (CTskInf* task : s_tasks) {
    if (task->GetName() == name) return task;
  }
  return nullptr;
}

CTskInf* CTask::AddTask(const std::string& name, const std::string& typeName) {
  auto& owned = OwnedTasks();
  for (auto it = owned.begin(); it != owned.end(); ++it) {
    if ((*it)->GetName() == name) {
      s_tasks.Remove(it->get());
      owned.erase(it);
      break;
    }
  }
  auto data = std::make_unique<CTaskData>();
  data->m_typeName = typeName;
  owned.push_back(std::make_unique<CTskInf>(name, std::move(data)));
  s_tasks.AddTail(owned.back().get());
  return owned.back().get();
}

void CTask::RemoveAll() {
  s_tasks.RemoveAll();
  OwnedTasks().clear();
}

bool CTask::Is310XR(std::uint16_t code) { return (code & kFamilyMask) == k310XR; }

bool CTask::IsMk2Platform(std::uint16_t code) { return (code & kMk2Bit) != 0; }
