// The decoder and encoder registries: a port stores the 1-based index of its
// codec, so the order of registration is part of the settings file format.
#pragma once

#include <list>
#include <string>

#include "host/ds_array.h"
#include "host/runtime_class.h"

struct CDecodeType {
  std::string m_name;  // shown to the operator, unique in its registry
  const CRuntimeClass* m_pClass = nullptr;
  int m_index = 0;  // 1-based
};

struct CEncodeType {
  std::string m_name;
  const CRuntimeClass* m_pClass = nullptr;
  int m_index = 0;
};

// Static storage shared by every comm window and every port; the comm window
// base exposes it as its own static members.
class CCodecRegistry {
 public:
  static CDSArray<CDecodeType> s_decodes;
  static std::list<std::string> s_decodes_names;  // "<none>" first: position i is index i
  static CDSArray<CEncodeType> s_encodes;
  static std::list<std::string> s_encodes_names;

  // Appends {name, class, count + 1} unless the name is already registered or
  // the class is not a creatable decoder (encoder).
  static void AddDecode(const std::string& name, const CRuntimeClass* cls);
  static void AddEncode(const std::string& name, const CRuntimeClass* cls);

  // The entry of that registry name or 1-based index text, or null.
  static const CDecodeType* FindDecode(const std::string& nameOrIndex);
  static const CEncodeType* FindEncode(const std::string& nameOrIndex);
};
