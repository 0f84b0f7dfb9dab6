// An owning pointer to a COM interface, released when it goes out of scope.
// For interfaces whose release order is no part of the behaviour (the device
// watch, the probe, the endpoint listing); the capture thread writes its
// ordered teardown out.
#pragma once

template <class Interface> class ComPtr {
public:
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { Reset(); }

    Interface* Get() const { return p_; }
    Interface* operator->() const { return p_; }
    // For a call that hands out an interface: what was held goes first.
    Interface** Put()
    {
        Reset();
        return &p_;
    }
    // For Activate, which hands it out through a void**.
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    // For a call that may release what is held and hand out another.
    Interface** Address() { return &p_; }
    // Hands the reference to the caller.
    Interface* Detach()
    {
        Interface* p = p_;
        p_ = nullptr;
        return p;
    }
    // Takes over an interface whose reference the caller holds.
    void Attach(Interface* p)
    {
        Reset();
        p_ = p;
    }
    void Reset()
    {
        if (p_ != nullptr)
            p_->Release();
        p_ = nullptr;
    }

private:
    Interface* p_ = nullptr;
};
