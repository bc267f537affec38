// A growable list of plain records in the shared pointer pool.
//
// The list grows by a fixed number of records at a time. Growth can fail
// (the pool's limits); the caller sees false and the list is unchanged.
#pragma once

#include <cstddef>
#include <cstring>
#include <type_traits>

#include "base/memory.h"

template <class T>
class CPtrList {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  explicit CPtrList(size_t step) : m_step(step) {}
  ~CPtrList() { PtrFree(m_items); }
  CPtrList(const CPtrList&) = delete;
  CPtrList& operator=(const CPtrList&) = delete;

  size_t size() const { return m_size; }
  bool empty() const { return m_size == 0; }
  T& operator[](size_t i) { return m_items[i]; }
  const T& operator[](size_t i) const { return m_items[i]; }
  T* begin() { return m_items; }
  T* end() { return m_items + m_size; }
  const T* begin() const { return m_items; }
  const T* end() const { return m_items + m_size; }
  T& back() { return m_items[m_size - 1]; }

  // Makes room for one more record (growing by the step) without adding it.
  bool Reserve() {
    if (m_size < m_capacity) return true;
    void* grown = PtrRealloc(m_items, (m_capacity + m_step) * sizeof(T));
    if (!grown) return false;
    m_items = static_cast<T*>(grown);
    m_capacity += m_step;
    return true;
  }
  bool Add(const T& item) {
    if (!Reserve()) return false;
    std::memcpy(static_cast<void*>(m_items + m_size), &item, sizeof(T));
    ++m_size;
    return true;
  }
  void PopBack() { --m_size; }
  void Truncate(size_t size) { m_size = size; }
  void Clear() {
    PtrFree(m_items);
    m_items = nullptr;
    m_size = m_capacity = 0;
  }

 private:
  T* m_items = nullptr;
  size_t m_size = 0;
  size_t m_capacity = 0;
  size_t m_step;
};
