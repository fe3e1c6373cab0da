#pragma once
// Owns one COM interface pointer and releases it. Windows only; needs no
// Windows header, since it only calls Release on what it holds.
template <class T> struct ComPtr {
    T* p = nullptr;
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() {
        if (p) p->Release();
    }
    T* operator->() const { return p; }
    T** operator&() { return &p; }
    void** out() { return reinterpret_cast<void**>(&p); }
};
