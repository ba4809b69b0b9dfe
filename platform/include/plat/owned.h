// Owners of one platform reference: a COM interface (Release) or a kernel handle (CloseHandle).
// Header-only, for hosts and plug-ins alike.
#pragma once

#include <plat/winbase.h>
#include <plat/wintypes.h>

#include <utility>

namespace plat {

template <typename T, typename Free>
class Owned {
  public:
    Owned() = default;
    explicit Owned(T adopted) : value_(adopted) {}
    ~Owned() { reset(); }
    Owned(Owned&& other) noexcept : value_(std::exchange(other.value_, nullptr)) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) {
            reset();
            value_ = std::exchange(other.value_, nullptr);
        }
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;

    T get() const { return value_; }
    T operator->() const { return value_; }
    explicit operator bool() const { return value_ != nullptr; }
    // Place for a creation call to store a new reference into.
    T* put() {
        reset();
        return &value_;
    }
    void reset() {
        if (value_ != nullptr) Free{}(std::exchange(value_, nullptr));
    }

  private:
    T value_ = nullptr;
};

struct ComRelease {
    template <typename I>
    void operator()(I* object) const {
        object->Release();
    }
};
struct HandleClose {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};

template <typename I>
using ComPtr = Owned<I*, ComRelease>;
using KernelHandle = Owned<HANDLE, HandleClose>;

}  // namespace plat
