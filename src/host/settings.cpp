#include "host/settings.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include <pugixml.hpp>

namespace {

template <class T>
std::string ToText(T value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

template <class T>
bool FromText(const std::string& text, T& value) {
  T parsed{};
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, parsed);
  if (result.ec != std::errc() || result.ptr != end) return false;
  value = parsed;
  return true;
}

// Narrow types are stored as unsigned and range-checked on loading.
template <class Narrow>
bool NarrowFromText(const std::string& text, Narrow& value) {
  unsigned long wide = 0;
  if (!FromText(text, wide) || wide > static_cast<unsigned long>(static_cast<Narrow>(~Narrow{}))) return false;
  value = static_cast<Narrow>(wide);
  return true;
}

}  // namespace

CESetObj::CESetObj(CESet& set, std::string name, std::string text)
    : m_set(set), m_name(std::move(name)), m_text(std::move(text)) {}

bool CESetObj::IsLoading() const { return m_set.IsLoading(); }
bool CESetObj::IsStoring() const { return m_set.IsStoring(); }

const CESetObj::Entry* CESetObj::NextLoaded(const char* key) {
  std::size_t& seen = m_readCounts[key];
  const Entry* last = nullptr;
  std::size_t index = 0;
  for (const Entry& entry : m_items) {
    if (entry.key != key) continue;
    last = &entry;
    if (index++ == seen) break;
  }
  ++seen;
  return last;
}

template <class T>
void CESetObj::NumberItem(const char* key, const char* type, T& value) {
  if (IsStoring()) {
    m_items.push_back({key, type, ToText(value)});
    return;
  }
  if (const Entry* entry = NextLoaded(key)) {
    if constexpr (sizeof(T) < sizeof(int)) {
      NarrowFromText(entry->value, value);
    } else {
      FromText(entry->value, value);
    }
  }
}

void CESetObj::Item(const char* key, unsigned char& value) { NumberItem(key, "u8", value); }
void CESetObj::Item(const char* key, unsigned short& value) { NumberItem(key, "u16", value); }
void CESetObj::Item(const char* key, int& value) { NumberItem(key, "int", value); }
void CESetObj::Item(const char* key, unsigned& value) { NumberItem(key, "uint", value); }
void CESetObj::Item(const char* key, double& value) { NumberItem(key, "double", value); }

void CESetObj::Item(const char* key, std::string& value) {
  if (IsStoring()) {
    m_items.push_back({key, "string", value});
  } else if (const Entry* entry = NextLoaded(key)) {
    value = entry->value;
  }
}

CESetObj* CESetCol::GetObj(const std::string& name) const {
  for (const auto& obj : m_objs) {
    if (obj->GetName() == name) return obj.get();
  }
  return nullptr;
}

CESetObj* CESetCol::AddObj(const std::string& name, const std::string& text) {
  if (CESetObj* existing = GetObj(name)) return existing;
  m_objs.push_back(std::make_unique<CESetObj>(m_set, name, text));
  return m_objs.back().get();
}

CESetCol* CESet::GetCol(const std::string& name) const {
  for (const auto& col : m_cols) {
    if (col->GetName() == name) return col.get();
  }
  return nullptr;
}

CESetCol* CESet::AddCol(const std::string& name) {
  if (CESetCol* existing = GetCol(name)) return existing;
  m_cols.push_back(std::make_unique<CESetCol>(*this, name));
  return m_cols.back().get();
}

void CESet::BeginStoring() {
  m_cols.clear();
  m_loading = false;
  m_lastError.clear();
}

int CESet::Load(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  if (!file || !(content << file.rdbuf())) {
    m_cols.clear();
    m_loading = true;
    m_lastError = path + ": " + std::strerror(errno);
    return 0;
  }
  return Parse(content.str(), path);
}

int CESet::LoadFromString(const std::string& xml) { return Parse(xml, "settings"); }

int CESet::Parse(const std::string& xml, const std::string& origin) {
  m_cols.clear();
  m_loading = true;
  m_lastError.clear();
  pugi::xml_document doc;
  const pugi::xml_parse_result parsed = doc.load_buffer(xml.data(), xml.size());
  if (!parsed) {
    m_lastError = origin + ": " + parsed.description() + " at byte " + std::to_string(parsed.offset);
    return 0;
  }
  const pugi::xml_node root = doc.child("NyxSettings");
  if (!root) {
    m_lastError = origin + ": not a settings file (no NyxSettings element)";
    return 0;
  }
  for (pugi::xml_node colNode : root.children("Col")) {
    CESetCol* col = AddCol(colNode.attribute("name").as_string());
    for (pugi::xml_node objNode : colNode.children("Obj")) {
      CESetObj* obj = col->AddObj(objNode.attribute("name").as_string(), objNode.attribute("text").as_string());
      for (pugi::xml_node item : objNode.children("Item")) {
        obj->AppendLoaded({item.attribute("key").as_string(), item.attribute("type").as_string(), item.text().as_string()});
      }
    }
  }
  return 1;
}

std::string CESet::ToString() const {
  pugi::xml_document doc;
  pugi::xml_node root = doc.append_child("NyxSettings");
  root.append_attribute("version") = 1;
  for (const auto& col : m_cols) {
    pugi::xml_node colNode = root.append_child("Col");
    colNode.append_attribute("name") = col->GetName().c_str();
    for (const auto& obj : col->GetObjs()) {
      pugi::xml_node objNode = colNode.append_child("Obj");
      objNode.append_attribute("name") = obj->GetName().c_str();
      objNode.append_attribute("text") = obj->GetText().c_str();
      for (const CESetObj::Entry& entry : obj->GetItems()) {
        pugi::xml_node item = objNode.append_child("Item");
        item.append_attribute("key") = entry.key.c_str();
        item.append_attribute("type") = entry.type.c_str();
        item.text() = entry.value.c_str();
      }
    }
  }
  std::ostringstream text;
  doc.save(text, "  ");
  return text.str();
}

int CESet::Save(const std::string& path) const {
  // Write beside the target and rename, so a failed save never leaves half a file.
  const std::string temporary = path + ".tmp";
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    file << ToString();
    if (!file.flush()) {
      std::remove(temporary.c_str());
      return 0;
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    return 0;
  }
  return 1;
}
