// Runtime class information and creation by class name, as the host framework
// offers it: every creatable class names itself and a factory, and objects can be
// tested for their class chain.
#pragma once

#include <string_view>

class CObject;

struct CRuntimeClass {
  using Factory = CObject* (*)();

  // Registers the class by name; creatable when a factory is given.
  CRuntimeClass(const char* name, const CRuntimeClass* base, Factory factory);
  CRuntimeClass(const CRuntimeClass&) = delete;
  CRuntimeClass& operator=(const CRuntimeClass&) = delete;

  const char* m_lpszClassName;
  const CRuntimeClass* m_pBaseClass;
  Factory m_pfnCreateObject;

  // A new object of this class, or null when the class is not creatable.
  CObject* CreateObject() const;
  bool IsDerivedFrom(const CRuntimeClass* base) const;

  // The registered class of that exact name, or null.
  static const CRuntimeClass* FromName(std::string_view name);
  // A new object of the named class, or null when unknown or not creatable.
  static CObject* CreateObject(std::string_view name);
};

class CObject {
 public:
  virtual ~CObject() = default;
  virtual const CRuntimeClass* GetRuntimeClass() const;
  bool IsKindOf(const CRuntimeClass* cls) const;

  static const CRuntimeClass s_runtimeClass;
};

template <class T>
const CRuntimeClass* RuntimeClassOf() {
  return &T::s_runtimeClass;
}

// Class boilerplate only: a static class record and its accessor.
#define NYX_DECLARE_DYNAMIC(cls)             \
 public:                                     \
  static const CRuntimeClass s_runtimeClass; \
  const CRuntimeClass* GetRuntimeClass() const override { return &s_runtimeClass; }

#define NYX_DECLARE_DYNCREATE(cls) NYX_DECLARE_DYNAMIC(cls)

#define NYX_IMPLEMENT_DYNAMIC(cls, base) \
  const CRuntimeClass cls::s_runtimeClass{#cls, &base::s_runtimeClass, nullptr};

#define NYX_IMPLEMENT_DYNCREATE(cls, base)                               \
  const CRuntimeClass cls::s_runtimeClass{#cls, &base::s_runtimeClass, \
                                          []() -> CObject* { return new cls; }};
