// The root of the engine's classes.
//
// Every class has one process-wide identity constant, its name string; the
// constant's address is the identity, so classes are compared by pointer.
// Down-casts go through IsKindOf, which answers the object adjusted to the
// asked class, or null.
#pragma once

using ClassId = const char*;

class CObject {
 public:
  static constexpr char kClassName[] = "CObject";

  virtual ClassId GetClassName() const { return kClassName; }
  virtual void* IsKindOf(ClassId id) { return id == kClassName ? this : nullptr; }
  virtual ~CObject() = default;
};

// Declares GetClassName and IsKindOf of `Self`, a class derived from `Base`.
#define TV_CLASS(Self, Base)                                                   \
 public:                                                                       \
  static constexpr char kClassName[] = #Self;                                  \
  ClassId GetClassName() const override { return kClassName; }                 \
  void* IsKindOf(ClassId id) override {                                        \
    return id == kClassName ? static_cast<void*>(this) : Base::IsKindOf(id);   \
  }

// The object as a T, or null: the checked down-cast of the engine.
template <class T>
T* KindOf(CObject* object) {
  return object ? static_cast<T*>(object->IsKindOf(T::kClassName)) : nullptr;
}
