// Reading a native's arguments and pushing its result.
//
// The arguments lie in call order, starting `size` bytes below sp. The str
// arguments read are released when the reader goes, unless they are
// borrowed, and sp moves below the arguments (the result goes there).
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>

#include "base/geometry.h"
#include "script/native.h"
#include "script/script_string.h"

class CArgs {
 public:
  CArgs(uint8_t** sp, uint32_t size, bool borrowed = false)
      : m_sp(sp), m_at(*sp - size), m_borrowed(borrowed) {
    *sp -= size;
  }
  ~CArgs() {
    for (int i = 0; i < m_count; ++i) StrRelease(m_strs[i]);
  }
  CArgs(const CArgs&) = delete;
  CArgs& operator=(const CArgs&) = delete;

  int32_t Int() { return Next<int32_t>(); }
  bool Bool() { return Next<uint8_t>() != 0; }
  ScriptAddr Addr() { return Next<ScriptAddr>(); }
  TRect Rect() { return Next<TRect>(); }
  // An element value: a str one is released on return like any str.
  template <class T>
  T Value() {
    if constexpr (std::is_same_v<T, StrHandle>) return Str();
    else return Next<T>();
  }
  StrHandle Str() {
    const StrHandle handle = Next<StrHandle>();
    if (!m_borrowed && m_count < kMaxStrs) m_strs[m_count++] = handle;
    return handle;
  }
  // A str argument's text ("" for null).
  std::string Text() { return std::string(CStrText(Str()).view()); }
  // Pushes the result: bool as one byte, anything else as its bytes.
  template <class T>
  void Result(const T& value) {
    if constexpr (std::is_same_v<T, bool>) Push<uint8_t>(*m_sp, value);
    else Push<T>(*m_sp, value);
  }

 private:
  static constexpr int kMaxStrs = 8;
  template <class T>
  T Next() {
    const T value = Peek<T>(m_at);
    m_at += sizeof(T);
    return value;
  }

  uint8_t** m_sp;
  uint8_t* m_at;
  bool m_borrowed;
  StrHandle m_strs[kMaxStrs] = {};
  int m_count = 0;
};
