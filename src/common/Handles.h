#pragma once
// Owners for the platform's handle kinds: one small non-copyable, movable
// class per kind. Each constructor stores everything its destructor uses.
// Windows only; the bottom layer, so that every folder may use them.

#include <windows.h>
#include <bcrypt.h>

#include "common/SystemDll.h"

#include <utility>

// A kernel handle closed with CloseHandle (event, thread, process, mutex).
class CHandleOwner {
public:
    CHandleOwner() = default;
    explicit CHandleOwner(HANDLE h) : m_h(h) {}
    ~CHandleOwner() { reset(); }
    CHandleOwner(const CHandleOwner&) = delete;
    CHandleOwner& operator=(const CHandleOwner&) = delete;
    CHandleOwner(CHandleOwner&& o) noexcept : m_h(std::exchange(o.m_h, nullptr)) {}
    CHandleOwner& operator=(CHandleOwner&& o) noexcept
    {
        if (this != &o) {
            reset();
            m_h = std::exchange(o.m_h, nullptr);
        }
        return *this;
    }
    HANDLE get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr && m_h != INVALID_HANDLE_VALUE; }
    HANDLE release() { return std::exchange(m_h, nullptr); }
    void reset(HANDLE h = nullptr)
    {
        if (m_h && m_h != INVALID_HANDLE_VALUE)
            CloseHandle(m_h);
        m_h = h;
    }

private:
    HANDLE m_h = nullptr;
};

// A GDI object (bitmap, region, font, brush, pen) deleted with DeleteObject.
template <class T> class CGdiOwner {
public:
    CGdiOwner() = default;
    explicit CGdiOwner(T h) : m_h(h) {}
    ~CGdiOwner() { reset(); }
    CGdiOwner(const CGdiOwner&) = delete;
    CGdiOwner& operator=(const CGdiOwner&) = delete;
    CGdiOwner(CGdiOwner&& o) noexcept : m_h(std::exchange(o.m_h, nullptr)) {}
    CGdiOwner& operator=(CGdiOwner&& o) noexcept
    {
        if (this != &o) {
            reset();
            m_h = std::exchange(o.m_h, nullptr);
        }
        return *this;
    }
    T get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }
    T release() { return std::exchange(m_h, nullptr); }
    void reset(T h = nullptr)
    {
        if (m_h)
            DeleteObject(m_h);
        m_h = h;
    }

private:
    T m_h = nullptr;
};

using CBitmapOwner = CGdiOwner<HBITMAP>;
using CRgnOwner = CGdiOwner<HRGN>;
using CFontOwner = CGdiOwner<HFONT>;
using CBrushOwner = CGdiOwner<HBRUSH>;

// A memory device context from CreateCompatibleDC, deleted with DeleteDC.
class CMemDCOwner {
public:
    CMemDCOwner() = default;
    explicit CMemDCOwner(HDC compatibleWith) : m_h(CreateCompatibleDC(compatibleWith)) {}
    ~CMemDCOwner()
    {
        if (m_h)
            DeleteDC(m_h);
    }
    CMemDCOwner(const CMemDCOwner&) = delete;
    CMemDCOwner& operator=(const CMemDCOwner&) = delete;
    CMemDCOwner(CMemDCOwner&& o) noexcept : m_h(std::exchange(o.m_h, nullptr)) {}
    CMemDCOwner& operator=(CMemDCOwner&& o) noexcept
    {
        if (this != &o) {
            if (m_h)
                DeleteDC(m_h);
            m_h = std::exchange(o.m_h, nullptr);
        }
        return *this;
    }
    HDC get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }

private:
    HDC m_h = nullptr;
};

// A window's device context from GetDC, released with ReleaseDC.
class CWindowDCOwner {
public:
    explicit CWindowDCOwner(HWND hwnd) : m_hwnd(hwnd), m_h(GetDC(hwnd)) {}
    ~CWindowDCOwner()
    {
        if (m_h)
            ReleaseDC(m_hwnd, m_h);
    }
    CWindowDCOwner(const CWindowDCOwner&) = delete;
    CWindowDCOwner& operator=(const CWindowDCOwner&) = delete;
    HDC get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }

private:
    HWND m_hwnd;
    HDC m_h;
};

// The painting context of one WM_PAINT, from BeginPaint, ended with EndPaint.
// Ending it validates the update region, so the paint request is complete
// even when nothing was drawn.
class CPaintDCOwner {
public:
    explicit CPaintDCOwner(HWND hwnd) : m_hwnd(hwnd), m_ps(), m_h(BeginPaint(hwnd, &m_ps)) {}
    ~CPaintDCOwner()
    {
        if (m_h)
            EndPaint(m_hwnd, &m_ps);
    }
    CPaintDCOwner(const CPaintDCOwner&) = delete;
    CPaintDCOwner& operator=(const CPaintDCOwner&) = delete;
    HDC get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }
    const PAINTSTRUCT& paintStruct() const { return m_ps; }

private:
    HWND m_hwnd;
    PAINTSTRUCT m_ps;
    HDC m_h;
};

// Selects a GDI object into a context and puts the previous one back.
class CSelectGuard {
public:
    CSelectGuard(HDC dc, HGDIOBJ obj) : m_dc(dc), m_old(dc && obj ? SelectObject(dc, obj) : nullptr) {}
    ~CSelectGuard()
    {
        if (m_old && m_old != HGDI_ERROR)
            SelectObject(m_dc, m_old);
    }
    CSelectGuard(const CSelectGuard&) = delete;
    CSelectGuard& operator=(const CSelectGuard&) = delete;
    // False when the object could not be selected.
    bool ok() const { return m_old != nullptr && m_old != HGDI_ERROR; }

private:
    HDC m_dc;
    HGDIOBJ m_old;
};

// A CNG algorithm provider (BCryptOpenAlgorithmProvider), closed with
// BCryptCloseAlgorithmProvider.
class CBCryptAlgOwner {
public:
    CBCryptAlgOwner() = default;
    ~CBCryptAlgOwner()
    {
        if (m_h)
            SYSTEM_CALL(L"bcrypt.dll", BCryptCloseAlgorithmProvider, kNtNotFound, (m_h, 0));
    }
    CBCryptAlgOwner(const CBCryptAlgOwner&) = delete;
    CBCryptAlgOwner& operator=(const CBCryptAlgOwner&) = delete;
    CBCryptAlgOwner(CBCryptAlgOwner&& o) noexcept : m_h(std::exchange(o.m_h, nullptr)) {}
    CBCryptAlgOwner& operator=(CBCryptAlgOwner&& o) noexcept
    {
        if (this != &o) {
            if (m_h)
                SYSTEM_CALL(L"bcrypt.dll", BCryptCloseAlgorithmProvider, kNtNotFound, (m_h, 0));
            m_h = std::exchange(o.m_h, nullptr);
        }
        return *this;
    }
    BCRYPT_ALG_HANDLE get() const { return m_h; }
    // For the open call; the owner must be empty.
    BCRYPT_ALG_HANDLE* receive() { return &m_h; }
    explicit operator bool() const { return m_h != nullptr; }

private:
    BCRYPT_ALG_HANDLE m_h = nullptr;
};

// A CNG hash object (BCryptCreateHash), destroyed with BCryptDestroyHash.
// Destroy it before the provider it was made from.
class CBCryptHashOwner {
public:
    CBCryptHashOwner() = default;
    ~CBCryptHashOwner()
    {
        if (m_h)
            SYSTEM_CALL(L"bcrypt.dll", BCryptDestroyHash, kNtNotFound, (m_h));
    }
    CBCryptHashOwner(const CBCryptHashOwner&) = delete;
    CBCryptHashOwner& operator=(const CBCryptHashOwner&) = delete;
    CBCryptHashOwner(CBCryptHashOwner&& o) noexcept : m_h(std::exchange(o.m_h, nullptr)) {}
    CBCryptHashOwner& operator=(CBCryptHashOwner&& o) noexcept
    {
        if (this != &o) {
            if (m_h)
                SYSTEM_CALL(L"bcrypt.dll", BCryptDestroyHash, kNtNotFound, (m_h));
            m_h = std::exchange(o.m_h, nullptr);
        }
        return *this;
    }
    BCRYPT_HASH_HANDLE get() const { return m_h; }
    // For the create call; the owner must be empty.
    BCRYPT_HASH_HANDLE* receive() { return &m_h; }
    explicit operator bool() const { return m_h != nullptr; }

private:
    BCRYPT_HASH_HANDLE m_h = nullptr;
};
