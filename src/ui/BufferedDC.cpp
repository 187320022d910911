#include "ui/BufferedDC.h"

CBufferedDC::CBufferedDC(HDC target)
    : m_target(target), m_bPrinter(target && GetDeviceCaps(target, TECHNOLOGY) == DT_RASPRINTER), m_rcClip()
{
    if (!target || m_bPrinter)
        return;
    if (GetClipBox(target, &m_rcClip) == ERROR)
        return;
    int width = m_rcClip.right - m_rcClip.left;
    int height = m_rcClip.bottom - m_rcClip.top;
    if (width <= 0 || height <= 0)
        return;
    CMemDCOwner memDC(target);
    CBitmapOwner bitmap(CreateCompatibleBitmap(target, width, height));
    if (!memDC || !bitmap)
        return;
    HGDIOBJ old = SelectObject(memDC.get(), bitmap.get());
    if (!old || old == HGDI_ERROR)
        return;
    SetWindowOrgEx(memDC.get(), m_rcClip.left, m_rcClip.top, nullptr);
    m_memDC = std::move(memDC);
    m_bitmap = std::move(bitmap);
    m_hOldBitmap = old;
    m_bBuffered = true;
}

CBufferedDC::~CBufferedDC()
{
    if (!m_bBuffered)
        return;
    BitBlt(m_target, m_rcClip.left, m_rcClip.top, m_rcClip.right - m_rcClip.left, m_rcClip.bottom - m_rcClip.top,
           m_memDC.get(), m_rcClip.left, m_rcClip.top, SRCCOPY);
    SelectObject(m_memDC.get(), m_hOldBitmap);
    // The members then delete the buffer bitmap, and after it the context.
}
