// Reference counting and QueryInterface for a platform COM object with one interface chain:
// it answers each identifier of `Iids` with `Interface` and deletes itself when the count
// reaches 0. Derived classes declare `friend Base;` for that delete.
#pragma once

#include <atomic>

#include <plat/wintypes.h>

namespace plat {

template <class Derived, class Interface, const IID&... Iids>
class ComObject : public Interface {
public:
    using Base = ComObject;

    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (!((riid == Iids) || ...)) return E_NOINTERFACE;
        *object = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete static_cast<Derived*>(this);
        return left;
    }

protected:
    ComObject() = default;
    ~ComObject() = default;
    ULONG references() const { return refs_.load(); }

private:
    std::atomic<ULONG> refs_{1};
};

}  // namespace plat
