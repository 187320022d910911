#pragma once
// CBufferedDC: an off-screen drawing context over a painting context, so a
// control paints in one piece without flicker.
//
// Over a screen context it draws into a memory bitmap the size of the
// target's clip box, with the window origin moved so that client
// coordinates land in the buffer; destroying it copies the clip box to the
// target in one BitBlt. Over a printer context, or when no buffer can be
// made, it draws straight into the target. Clip regions selected into it
// are in device units of the buffer: convert with LPtoDP first.

#include "common/Handles.h"

class CBufferedDC {
public:
    explicit CBufferedDC(HDC target);
    ~CBufferedDC();
    CBufferedDC(const CBufferedDC&) = delete;
    CBufferedDC& operator=(const CBufferedDC&) = delete;

    // The context to draw into.
    HDC get() const { return m_bBuffered ? m_memDC.get() : m_target; }
    bool isBuffered() const { return m_bBuffered; }

private:
    HDC m_target;
    bool m_bPrinter;
    RECT m_rcClip;
    CMemDCOwner m_memDC;
    CBitmapOwner m_bitmap;
    HGDIOBJ m_hOldBitmap = nullptr;
    bool m_bBuffered = false;
};
