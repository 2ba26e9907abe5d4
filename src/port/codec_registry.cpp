#include "port/codec_registry.h"

#include <charconv>

#include "port/codec.h"

CDSArray<CDecodeType> CCodecRegistry::s_decodes;
std::list<std::string> CCodecRegistry::s_decodes_names;
CDSArray<CEncodeType> CCodecRegistry::s_encodes;
std::list<std::string> CCodecRegistry::s_encodes_names;

namespace {

template <class Entry>
bool Registered(const CDSArray<Entry>& registry, const std::string& name) {
  for (const auto& entry : registry) {
    if (entry->m_name == name) return true;
  }
  return false;
}

template <class Entry>
void Add(CDSArray<Entry>& registry, std::list<std::string>& names, const std::string& name,
         const CRuntimeClass* cls, const CRuntimeClass* base) {
  if (!cls || !cls->m_pfnCreateObject || !cls->IsDerivedFrom(base) || Registered(registry, name)) return;
  auto entry = std::make_unique<Entry>();
  entry->m_name = name;
  entry->m_pClass = cls;
  entry->m_index = static_cast<int>(registry.GetCount()) + 1;
  registry.Add(std::move(entry));
  names.push_back(name);
}

template <class Entry>
const Entry* Find(const CDSArray<Entry>& registry, const std::string& nameOrIndex) {
  for (const auto& entry : registry) {
    if (entry->m_name == nameOrIndex) return entry.get();
  }
  int index = 0;
  const char* end = nameOrIndex.data() + nameOrIndex.size();
  const auto result = std::from_chars(nameOrIndex.data(), end, index);
  if (result.ec != std::errc() || result.ptr != end || index < 1) return nullptr;
  return registry.GetAt(static_cast<std::size_t>(index - 1));
}

}  // namespace

void CCodecRegistry::AddDecode(const std::string& name, const CRuntimeClass* cls) {
  Add(s_decodes, s_decodes_names, name, cls, RuntimeClassOf<CDecode>());
}

void CCodecRegistry::AddEncode(const std::string& name, const CRuntimeClass* cls) {
  Add(s_encodes, s_encodes_names, name, cls, RuntimeClassOf<CEncode>());
}

const CDecodeType* CCodecRegistry::FindDecode(const std::string& nameOrIndex) { return Find(s_decodes, nameOrIndex); }

const CEncodeType* CCodecRegistry::FindEncode(const std::string& nameOrIndex) { return Find(s_encodes, nameOrIndex); }
