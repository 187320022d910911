#pragma once
// Owners for the platform's handle kinds. The movable ones are one
// CUniqueOwner (UniqueOwner.h) each, told by a traits type how the kind is
// given back; the scoped ones below keep the window or context their
// release needs. Each constructor stores everything its destructor uses.
// Windows only; the bottom layer, so that every folder may use them.

#include <windows.h>
#include <bcrypt.h>

#include "common/SystemDll.h"
#include "common/UniqueOwner.h"

// A kernel handle closed with CloseHandle (event, thread, process, mutex,
// file, mapping). Both null and INVALID_HANDLE_VALUE count as none.
struct CKernelHandleTraits : CNullEmptyTraits<HANDLE> {
    static bool valid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(Type h) { CloseHandle(h); }
};
using CHandleOwner = CUniqueOwner<CKernelHandleTraits>;

// An open registry key, closed with RegCloseKey.
struct CRegKeyTraits : CNullEmptyTraits<HKEY> {
    static void close(Type h) { RegCloseKey(h); }
};
using CRegKeyOwner = CUniqueOwner<CRegKeyTraits>;

// A GDI object (bitmap, region, font, brush, pen) deleted with DeleteObject.
template <class T> struct CGdiTraits : CNullEmptyTraits<T> {
    static void close(T h) { DeleteObject(h); }
};
template <class T> using CGdiOwner = CUniqueOwner<CGdiTraits<T>>;

using CBitmapOwner = CGdiOwner<HBITMAP>;
using CRgnOwner = CGdiOwner<HRGN>;
using CFontOwner = CGdiOwner<HFONT>;
using CBrushOwner = CGdiOwner<HBRUSH>;

// Memory the system allocated for the caller with LocalAlloc (a split
// command line, a converted security descriptor), freed with LocalFree.
template <class T> struct CLocalMemTraits : CNullEmptyTraits<T> {
    static void close(T p) { LocalFree(p); }
};
template <class T> using CLocalOwner = CUniqueOwner<CLocalMemTraits<T>>;

// A COM interface pointer holding one reference, given back with Release.
template <class I> struct CComTraits : CNullEmptyTraits<I*> {
    static void close(I* p) { p->Release(); }
};
template <class I> class CComOwner : public CUniqueOwner<CComTraits<I>> {
public:
    using CUniqueOwner<CComTraits<I>>::CUniqueOwner;
    I* operator->() const { return this->get(); }
};

// A memory device context from CreateCompatibleDC, deleted with DeleteDC.
struct CMemDCTraits : CNullEmptyTraits<HDC> {
    static void close(Type h) { DeleteDC(h); }
};
class CMemDCOwner : public CUniqueOwner<CMemDCTraits> {
public:
    CMemDCOwner() = default;
    explicit CMemDCOwner(HDC compatibleWith) : CUniqueOwner(CreateCompatibleDC(compatibleWith)) {}
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
// BCryptCloseAlgorithmProvider; filled through receive().
struct CBCryptAlgTraits : CNullEmptyTraits<BCRYPT_ALG_HANDLE> {
    static void close(Type h) { SYSTEM_CALL(L"bcrypt.dll", BCryptCloseAlgorithmProvider, kNtNotFound, (h, 0)); }
};
using CBCryptAlgOwner = CUniqueOwner<CBCryptAlgTraits>;

// A CNG hash object (BCryptCreateHash), destroyed with BCryptDestroyHash;
// filled through receive(). Destroy it before the provider it was made from.
struct CBCryptHashTraits : CNullEmptyTraits<BCRYPT_HASH_HANDLE> {
    static void close(Type h) { SYSTEM_CALL(L"bcrypt.dll", BCryptDestroyHash, kNtNotFound, (h)); }
};
using CBCryptHashOwner = CUniqueOwner<CBCryptHashTraits>;
