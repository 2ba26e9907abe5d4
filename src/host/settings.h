// Settings files: a file holds named columns, a column holds named objects, an
// object holds typed items in the order they were stored. One Settings(obj)
// call both stores and loads; the file's direction decides which.
//
//   <NyxSettings version="1">
//     <Col name="SComm">
//       <Obj name="Port01" text="No Data">
//         <Item key="CommPort" type="int">3</Item>
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

class CESet;

class CESetObj {
 public:
  struct Entry {
    std::string key;
    std::string type;  // "u8", "u16", "int", "uint", "double", "string"
    std::string value;
  };

  CESetObj(CESet& set, std::string name, std::string text);

  bool IsLoading() const;
  bool IsStoring() const;

  // Storing appends the item; loading reads the stored item of that key (the
  // n-th call for one key reads its n-th item) and leaves the variable as it
  // is when the item is missing or its value does not fit the type.
  void Item(const char* key, unsigned char& value);  // byte flags and unsigned 8-bit
  void Item(const char* key, unsigned short& value);
  void Item(const char* key, int& value);
  void Item(const char* key, unsigned& value);
  void Item(const char* key, double& value);
  void Item(const char* key, std::string& value);

  CESet& GetSet() const { return m_set; }
  const std::string& GetName() const { return m_name; }
  const std::string& GetText() const { return m_text; }
  const std::vector<Entry>& GetItems() const { return m_items; }
  void AppendLoaded(Entry entry) { m_items.push_back(std::move(entry)); }

 private:
  template <class T>
  void NumberItem(const char* key, const char* type, T& value);
  const Entry* NextLoaded(const char* key);

  CESet& m_set;
  std::string m_name;
  std::string m_text;
  std::vector<Entry> m_items;
  std::map<std::string, std::size_t> m_readCounts;
};

class CESetCol {
 public:
  CESetCol(CESet& set, std::string name) : m_set(set), m_name(std::move(name)) {}

  CESetObj* GetObj(const std::string& name) const;
  // The existing object of that name, or a new one with the text.
  CESetObj* AddObj(const std::string& name, const std::string& text = "");
  const std::string& GetName() const { return m_name; }
  const std::vector<std::unique_ptr<CESetObj>>& GetObjs() const { return m_objs; }

 private:
  CESet& m_set;
  std::string m_name;
  std::vector<std::unique_ptr<CESetObj>> m_objs;
};

class CESet {
 public:
  // A new set is empty and storing.
  CESet() = default;
  CESet(const CESet&) = delete;
  CESet& operator=(const CESet&) = delete;

  // Read a file (or XML text) and switch to loading; nonzero on success. On
  // failure the set is left empty and GetLastError() says why.
  int Load(const std::string& path);
  int LoadFromString(const std::string& xml);
  // Write the set; nonzero on success.
  int Save(const std::string& path) const;
  std::string ToString() const;

  // Empty the set and switch to storing.
  void BeginStoring();
  bool IsLoading() const { return m_loading; }
  bool IsStoring() const { return !m_loading; }

  CESetCol* GetCol(const std::string& name) const;
  // The existing column of that name, or a new one.
  CESetCol* AddCol(const std::string& name);
  const std::vector<std::unique_ptr<CESetCol>>& GetCols() const { return m_cols; }

  const std::string& GetLastError() const { return m_lastError; }

 private:
  int Parse(const std::string& xml, const std::string& origin);

  bool m_loading = false;
  std::vector<std::unique_ptr<CESetCol>> m_cols;
  std::string m_lastError;
};
