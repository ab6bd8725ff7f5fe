#pragma once
// Reference counting on both sides of the library's interfaces: ComObject for the objects we hand
// to it, ComPtr for the references we hold, so no reference is released by hand.
#include <atomic>
#include <cstdint>
#include <utility>

#include "support/sevenzip_abi.h"

namespace nurv::sz {

// An object handed to the library: AddRef, Release and QueryInterface of every interface it
// derives from, answered from `Derived::InterfaceFor(iid)` (nullptr for one it lacks). Created with
// new, it starts with the creator's reference and deletes itself when the last one goes. The
// interfaces stay its first bases, so the library sees them where it expects.
template <typename Derived, typename... Interfaces>
class ComObject : public Interfaces... {
 public:
  HResult NURV_SZ_CALL QueryInterface(const Guid& iid, void** out) override {
    if (out == nullptr) return kEInvalidArg;
    *out = static_cast<Derived*>(this)->InterfaceFor(iid);
    if (*out == nullptr) return kENoInterface;
    AddRef();
    return kSOk;
  }
  std::uint32_t NURV_SZ_CALL AddRef() override { return ++count_; }
  std::uint32_t NURV_SZ_CALL Release() override {
    const std::uint32_t left = --count_;
    if (left == 0) delete static_cast<Derived*>(this);
    return left;
  }

 protected:
  ComObject() = default;
  ~ComObject() = default;

 private:
  std::atomic<std::uint32_t> count_{1};
};

// One reference to an object of the library's or of ours, released when the holder goes.
template <typename Interface>
class ComPtr {
 public:
  ComPtr() = default;
  // Takes over a reference the caller holds (a new object's, or one an out-argument gave).
  explicit ComPtr(Interface* held) : object_(held) {}
  NURV_SZ_FOREIGN_CALLS ~ComPtr() { Reset(); }
  ComPtr(ComPtr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      Reset();
      object_ = std::exchange(other.object_, nullptr);
    }
    return *this;
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;

  Interface* Get() const { return object_; }
  Interface* operator->() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  NURV_SZ_FOREIGN_CALLS void Reset() {
    if (object_ != nullptr) std::exchange(object_, nullptr)->Release();
  }

 private:
  Interface* object_ = nullptr;
};

}  // namespace nurv::sz
