// The kernel object behind a file or folder handle from CreateFileW; other
// families reach the descriptor through pal::FindHandleOf<pal::CFileObject>.
#pragma once
#include "pal/base/handles.h"

namespace pal {

class CFileObject : public CKernelObject {
public:
    CFileObject(int fd, bool isFolder) : m_iFd(fd), m_bFolder(isFolder) {}
    ~CFileObject() override;
    CFileObject(const CFileObject&) = delete;
    CFileObject& operator=(const CFileObject&) = delete;

    // Synchronous handles have no I/O pending, so they are always signalled.
    DWORD Wait(DWORD milliseconds) override;

    int Fd() const { return m_iFd; }
    bool IsFolder() const { return m_bFolder; }

private:
    int m_iFd;
    bool m_bFolder;
};

}  // namespace pal
