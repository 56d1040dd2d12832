#pragma once
// Lists of the module's static class objects. Each static class object links a node into a list from its
// constructor, at module load; the registration entry point walks the lists. Nodes are pushed at the head,
// so a walk visits the most recently constructed object first.
#include "host/com/iunknown.h"

namespace Qor {

class ClassObjectNode {
 public:
  using Getter = IUnknown* (*)();  // returns the class object, no reference added
  // Links this node at the head of the class-object list.
  explicit ClassObjectNode(Getter getter);
  ClassObjectNode(const ClassObjectNode&) = delete;
  ClassObjectNode& operator=(const ClassObjectNode&) = delete;

  static ClassObjectNode* Head();
  IUnknown* Get() const { return mGetter(); }
  ClassObjectNode* Next() const { return mNext; }

 private:
  Getter mGetter;
  ClassObjectNode* mNext;
};

// The same for message classes.
class MessageNode {
 public:
  using Getter = IUnknown* (*)();
  explicit MessageNode(Getter getter);
  MessageNode(const MessageNode&) = delete;
  MessageNode& operator=(const MessageNode&) = delete;

  static MessageNode* Head();
  IUnknown* Get() const { return mGetter(); }
  MessageNode* Next() const { return mNext; }

 private:
  Getter mGetter;
  MessageNode* mNext;
};

// A static class object of type T that exists from module load and registers itself: declare one at
// namespace scope,
//   static Qor::StaticClassObject<SpFlowCalcClass> gSpFlowClass;
// The module keeps one reference for its whole life; the registries take their own.
template <class T>
class StaticClassObject {
 public:
  StaticClassObject() : mNode(&Get) {
    sInstance = new T();
    sInstance->AddRef();
  }
  StaticClassObject(const StaticClassObject&) = delete;
  StaticClassObject& operator=(const StaticClassObject&) = delete;
  static IUnknown* Get() { return sInstance ? static_cast<IUnknown*>(sInstance) : nullptr; }
  static T* Instance() { return sInstance; }

 private:
  inline static T* sInstance = nullptr;
  ClassObjectNode mNode;
};

template <class T>
class StaticMessageClass {
 public:
  StaticMessageClass() : mNode(&Get) {
    sInstance = new T();
    sInstance->AddRef();
  }
  StaticMessageClass(const StaticMessageClass&) = delete;
  StaticMessageClass& operator=(const StaticMessageClass&) = delete;
  static IUnknown* Get() { return sInstance ? static_cast<IUnknown*>(sInstance) : nullptr; }
  static T* Instance() { return sInstance; }

 private:
  inline static T* sInstance = nullptr;
  MessageNode mNode;
};

}  // namespace Qor
