#include "host/task.h"

#include <vector>

CList_Ptr<CTskInf*> CTask::s_tasks;

namespace {
// Owns the tasks that s_tasks lists.
std::vector<std::unique_ptr<CTskInf>>& OwnedTasks() {
  static std::vector<std::unique_ptr<CTskInf>> tasks;
  return tasks;
}

// Sonar type codes as the heads report them (one byte of the status packet):
// the low seven bits name the model, 0x31 being the 310XR with its second
// serial port; bit 7 marks a Mk2 platform.
constexpr std::uint16_t kModelMask = 0x7F;
constexpr std::uint16_t k310XR = 0x31;
constexpr std::uint16_t kMk2Bit = 0x80;
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

bool CTask::Is310XR(std::uint16_t code) { return (code & kModelMask) == k310XR; }

bool CTask::IsMk2Platform(std::uint16_t code) { return (code & kMk2Bit) != 0; }
