// Owns one reference to a COM-style object of the platform and releases it.
#pragma once

#include <utility>

namespace a5host {

template <class T>
class ComRef {
  public:
    ComRef() = default;
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ComRef(ComRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    ComRef& operator=(ComRef&& other) noexcept {
        if (this != &other) {
            reset();
            object_ = std::exchange(other.object_, nullptr);
        }
        return *this;
    }
    ~ComRef() { reset(); }

    T* get() const { return object_; }
    T* operator->() const { return object_; }
    // For factory functions that hand out a new reference.
    T** put() {
        reset();
        return &object_;
    }
    void reset() {
        if (object_ != nullptr) std::exchange(object_, nullptr)->Release();
    }

  private:
    T* object_ = nullptr;
};

}  // namespace a5host
