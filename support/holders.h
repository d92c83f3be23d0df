// Owners that release what they hold when they go out of scope, so that
// every way out of a function releases it. They inline to the calls a
// function would make by hand.
#pragma once

#include <windows.h>
#include <unknwn.h>

// A COM interface, released once.
template <class T> class ComPtr {
  public:
    ComPtr() = default;
    ~ComPtr() {
        if (p_)
            p_->Release();
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    T* operator->() const { return p_; }
    // Where a call that creates or finds the object puts it (empty first).
    void** Out() { return reinterpret_cast<void**>(&p_); }

  private:
    T* p_ = nullptr;
};

// A chain of COM calls, each asking the object of the step before for the
// next: one object is held at a time. A call puts its object in Next();
// Take then releases the object before and holds the new one, and tells
// whether the call succeeded with an object.
class ComChain {
  public:
    ComChain() = default;
    ~ComChain() { (void)Take(S_OK); }
    ComChain(const ComChain&) = delete;
    ComChain& operator=(const ComChain&) = delete;

    template <class T = void> T** Next() { return reinterpret_cast<T**>(&next_); }
    template <class T> T* Held() const { return static_cast<T*>(held_); }
    __attribute__((noinline)) bool Take(HRESULT hr) {
        if (held_)
            held_->Release();
        held_ = static_cast<IUnknown*>(next_);
        next_ = nullptr;
        return SUCCEEDED(hr) && held_;
    }

  private:
    IUnknown* held_ = nullptr;
    void* next_ = nullptr;
};

// An open registry key, closed once.
class KeyHolder {
  public:
    KeyHolder() = default;
    ~KeyHolder() {
        if (key_)
            RegCloseKey(key_);
    }
    KeyHolder(const KeyHolder&) = delete;
    KeyHolder& operator=(const KeyHolder&) = delete;

    HKEY Get() const { return key_; }
    // Where RegOpenKeyExA puts the key (empty first).
    HKEY* Out() { return &key_; }

  private:
    HKEY key_ = nullptr;
};
