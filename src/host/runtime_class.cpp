#include "host/runtime_class.h"

#include <map>
#include <mutex>
#include <string>

namespace {

struct ClassTable {
  std::mutex lock;
  std::map<std::string, const CRuntimeClass*, std::less<>> byName;
};

// Function-local so that class records in any translation unit can register
// during static initialisation.
ClassTable& Table() {
  static ClassTable table;
  return table;
}

}  // namespace

CRuntimeClass::CRuntimeClass(const char* name, const CRuntimeClass* base, Factory factory)
    : m_lpszClassName(name), m_pBaseClass(base), m_pfnCreateObject(factory) {
  ClassTable& table = Table();
  std::lock_guard guard(table.lock);
  table.byName.emplace(name, this);
}

CObject* CRuntimeClass::CreateObject() const {
  return m_pfnCreateObject ? m_pfnCreateObject() : nullptr;
}

bool CRuntimeClass::IsDerivedFrom(const CRuntimeClass* base) const {
  for (const CRuntimeClass* cls = this; cls; cls = cls->m_pBaseClass) {
    if (cls == base) return true;
  }
  return false;
}

const CRuntimeClass* CRuntimeClass::FromName(std::string_view name) {
  ClassTable& table = Table();
  std::lock_guard guard(table.lock);
  auto it = table.byName.find(name);
  return it == table.byName.end() ? nullptr : it->second;
}

CObject* CRuntimeClass::CreateObject(std::string_view name) {
  const CRuntimeClass* cls = FromName(name);
  return cls ? cls->CreateObject() : nullptr;
}

const CRuntimeClass CObject::s_runtimeClass{"CObject", nullptr, nullptr};

const CRuntimeClass* CObject::GetRuntimeClass() const { return &s_runtimeClass; }

bool CObject::IsKindOf(const CRuntimeClass* cls) const {
  return GetRuntimeClass()->IsDerivedFrom(cls);
}
