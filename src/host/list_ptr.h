// Linked list of pointers that it does not own.
#pragma once

#include <algorithm>
#include <list>

template <class T>
class CList_Ptr {
 public:
  void AddTail(T item) { m_items.push_back(item); }
  void Remove(T item) { m_items.remove(item); }
  bool Contains(T item) const { return std::find(m_items.begin(), m_items.end(), item) != m_items.end(); }
  void RemoveAll() { m_items.clear(); }
  std::size_t GetCount() const { return m_items.size(); }
  bool IsEmpty() const { return m_items.empty(); }

  auto begin() { return m_items.begin(); }
  auto end() { return m_items.end(); }
  auto begin() const { return m_items.begin(); }
  auto end() const { return m_items.end(); }

 private:
  std::list<T> m_items;
};
