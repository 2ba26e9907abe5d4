// The built-in codec tables against tests/data/codecs/builtin.tsv: ports store
// registry indices in settings files, so every row is part of the file format.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "comms/ecomm.h"
#include "formats/builtin_codecs.h"
#include "port/codec.h"

namespace {

using Rows = std::vector<std::string>;  // "table index name class"

// The first rows of a registry: the built-ins come first, whatever tests of the
// same process registered after them.
template <class Entry>
void AddRegistry(const char* table, const CDSArray<Entry>& registry, std::size_t count, Rows& rows) {
  for (const auto& entry : registry) {
    if (count-- == 0) break;
    rows.push_back(std::string(table) + ' ' + std::to_string(entry->m_index) + ' ' + entry->m_name + ' ' +
                   entry->m_pClass->m_lpszClassName);
  }
}

}  // namespace

TEST(CodecTable, TablesAndRegistriesMatchTheFile) {
  std::ifstream in(std::filesystem::path(NYX_SOURCE_DIR) / "tests" / "data" / "codecs" / "builtin.tsv");
  Rows want;
  std::vector<std::pair<std::string, std::string>> ownNames;
  std::size_t decoders = 0;
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> f;
    std::istringstream fields(line);
    for (std::string field; std::getline(fields, field, '\t');) f.push_back(field);
    if (f.size() < 4 || line[0] == '#') continue;
    want.push_back(f[0] + ' ' + f[1] + ' ' + f[2] + ' ' + f[3]);
    if (f[0] == "decoder") ++decoders;
    if (f.size() > 4 && f[4] != "-") ownNames.emplace_back(f[2], f[4]);
  }
  ASSERT_EQ(decoders, 40u);
  ASSERT_EQ(want.size(), 42u);

  Rows tables;
  for (const char* table : {"decoder", "encoder"}) {
    int count = 0;
    const BuiltinCodec* rows = table[0] == 'd' ? BuiltinDecoders(count) : BuiltinEncoders(count);
    for (int i = 0; i < count; ++i) {
      tables.push_back(std::string(table) + ' ' + std::to_string(rows[i].index) + ' ' + rows[i].name + ' ' +
                       rows[i].cls->m_lpszClassName);
    }
  }
  EXPECT_EQ(tables, want);

  CEComm wnd;
  Rows registries;
  AddRegistry("decoder", CEComm::s_decodes, decoders, registries);
  AddRegistry("encoder", CEComm::s_encodes, want.size() - decoders, registries);
  EXPECT_EQ(registries, want);

  // A registry name and the object's own name may differ.
  for (const auto& [registryName, ownName] : ownNames) {
    const CDecodeType* entry = CEComm::FindDecode(registryName);
    ASSERT_NE(entry, nullptr) << registryName;
    std::unique_ptr<CDecode> decoder(static_cast<CDecode*>(entry->m_pClass->CreateObject()));
    EXPECT_EQ(decoder->m_name, ownName) << registryName;
  }
}
