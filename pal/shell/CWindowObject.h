// A window: its procedure and handle. It has no thread of its own; messages
// are sent, run on the sender's thread, as SendMessage does within a thread.
#pragma once
#include "pal/base/handles.h"
#include "pal/shell/shell.h"

namespace pal {

class CWindowObject : public CKernelObject {
public:
    explicit CWindowObject(WNDPROC pfnProc) : m_pfnProc(pfnProc) {}
    void SetHandle(HWND hWindow) { m_hWindow = hWindow; }
    LRESULT Send(UINT nMessage, WPARAM wParam, LPARAM lParam) const
    {
        return m_pfnProc(m_hWindow, nMessage, wParam, lParam);
    }

private:
    WNDPROC m_pfnProc;
    HWND m_hWindow = nullptr;
};

}  // namespace pal
