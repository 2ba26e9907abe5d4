// Growable array of owned pointers with a count; new slots get a fresh
// default-constructed object.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

template <class T>
class CDSArray {
 public:
  std::size_t GetCount() const { return m_items.size(); }
  bool IsEmpty() const { return m_items.empty(); }

  // Shrinking deletes the objects from n upward; growing adds fresh objects.
  void SetSize(std::size_t n) {
    if (n == m_items.size()) return;
    if (n < m_items.size()) {
      m_items.resize(n);
      m_items.shrink_to_fit();
      return;
    }
    m_items.reserve(n);
    while (m_items.size() < n) m_items.push_back(std::make_unique<T>());
  }

  // Takes ownership; returns the new count.
  std::size_t Add(std::unique_ptr<T> item) {
    m_items.push_back(std::move(item));
    return m_items.size();
  }

  void RemoveAll() { SetSize(0); }

  T* operator[](std::size_t i) const { return m_items[i].get(); }
  T* GetAt(std::size_t i) const { return i < m_items.size() ? m_items[i].get() : nullptr; }

  auto begin() const { return m_items.begin(); }
  auto end() const { return m_items.end(); }

 private:
  std::vector<std::unique_ptr<T>> m_items;
};
