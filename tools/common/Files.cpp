#include "Files.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <utility>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include "support/Win32.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "ToolText.h"

namespace vtool {
namespace {

constexpr size_t kChunk = 65536;

// Text mode would turn CR LF into LF and stop at a Ctrl-Z.
void _BinaryMode(FILE* pStream)
{
#ifdef _WIN32
    _setmode(_fileno(pStream), _O_BINARY);
#else
    (void)pStream;
#endif
}

bool _ReadAll(std::istream& stream, std::string& bytes, size_t nLimit)
{
    bytes.clear();
    char buffer[kChunk];
    while (bytes.size() < nLimit) {
        stream.read(buffer, static_cast<std::streamsize>(std::min(kChunk, nLimit - bytes.size())));
        bytes.append(buffer, static_cast<size_t>(stream.gcount()));
        if (!stream)
            break;
    }
    return !stream.bad();
}

namespace fs = std::filesystem;

// Another writer may hold a name we picked: try this many others.
constexpr unsigned kNameTries = 100;
// Longer names would leave no room for the temporary file's tag.
constexpr size_t kLongestNameKept = 200;

struct CReason {
    unsigned long m_nError;
    const char16_t* m_pszText;
};

// What stands at the target's name before the write.
struct CPrevious {
    enum class EKind { Missing, File, Folder, Other };
    EKind m_eKind = EKind::Missing;
    unsigned m_nMode = 0;  // POSIX permissions
};

#ifdef _WIN32

using CFileHandle = HANDLE;
const CFileHandle kNoFile = INVALID_HANDLE_VALUE;
constexpr DWORD kWriteChunk = 1 << 20;

const CReason kReasons[] = {
    {ERROR_DISK_FULL, u"no space left on the device"},
    {ERROR_HANDLE_DISK_FULL, u"no space left on the device"},
    {ERROR_ACCESS_DENIED, u"access is denied"},
    {ERROR_WRITE_PROTECT, u"the device is read-only"},
    {ERROR_PATH_NOT_FOUND, u"the folder does not exist"},
    {ERROR_FILENAME_EXCED_RANGE, u"the name is too long"},
    {ERROR_SHARING_VIOLATION, u"another program has the file open"},
};

unsigned long _LastError() { return GetLastError(); }
bool _IsTaken(unsigned long nError)
{
    return nError == ERROR_FILE_EXISTS || nError == ERROR_ALREADY_EXISTS;
}
unsigned long _ProcessId() { return GetCurrentProcessId(); }

std::u16string _SystemText(unsigned long nError) { return u"system error " + Decimal(nError); }

CFileHandle _CreateNew(const fs::path& path)
{
    return CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

bool _WriteAll(CFileHandle hFile, const std::string& bytes)
{
    for (size_t nDone = 0; nDone < bytes.size();) {
        const DWORD nPart = static_cast<DWORD>(std::min<size_t>(kWriteChunk, bytes.size() - nDone));
        DWORD nWritten = 0;
        if (!WriteFile(hFile, bytes.data() + nDone, nPart, &nWritten, nullptr) || nWritten == 0)
            return false;
        nDone += nWritten;
    }
    return true;
}

// Without std::filesystem's status, which imports functions Windows 2000 lacks.
CPrevious _Inspect(const fs::path& path)
{
    using EKind = CPrevious::EKind;
    const DWORD nAttributes = GetFileAttributesW(path.c_str());
    if (nAttributes == INVALID_FILE_ATTRIBUTES)
        return {};
    if (nAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return {EKind::Folder};
    return {nAttributes & FILE_ATTRIBUTE_DEVICE ? EKind::Other : EKind::File};
}

// Windows 2000 has no symbolic links to files.
fs::path _Target(const fs::path& path) { return path; }

// The new file gets the folder's default security, as any new file would.
bool _KeepMode(CFileHandle, const CPrevious&) { return true; }
bool _Flush(CFileHandle hFile) { return FlushFileBuffers(hFile) != 0; }
bool _Close(CFileHandle hFile) { return CloseHandle(hFile) != 0; }
void _Remove(const fs::path& path) { DeleteFileW(path.c_str()); }

// Write-through: the move is on the disk when the call returns.
bool _Move(const fs::path& from, const fs::path& to, EExisting eExisting)
{
    const DWORD nReplace = eExisting == EExisting::Replace ? MOVEFILE_REPLACE_EXISTING : 0;
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH | nReplace) != 0;
}

#else

using CFileHandle = int;
constexpr CFileHandle kNoFile = -1;

const CReason kReasons[] = {
    {ENOSPC, u"no space left on the device"},
    {EDQUOT, u"the disk quota is used up"},
    {EFBIG, u"the file would be larger than allowed"},
    {EACCES, u"access is denied"},
    {EPERM, u"access is denied"},
    {EROFS, u"the device is read-only"},
    {ENOENT, u"the folder does not exist"},
    {ENOTDIR, u"part of the path is not a folder"},
    {ENAMETOOLONG, u"the name is too long"},
};

unsigned long _LastError() { return static_cast<unsigned long>(errno); }
bool _IsTaken(unsigned long nError) { return nError == EEXIST; }
unsigned long _ProcessId() { return static_cast<unsigned long>(getpid()); }

std::u16string _SystemText(unsigned long nError)
{
    const std::string sText = std::strerror(static_cast<int>(nError));
    return std::u16string(sText.begin(), sText.end());
}

CFileHandle _CreateNew(const fs::path& path)
{
    return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

bool _WriteAll(CFileHandle hFile, const std::string& bytes)
{
    for (size_t nDone = 0; nDone < bytes.size();) {
        const ssize_t nWritten = write(hFile, bytes.data() + nDone, bytes.size() - nDone);
        if (nWritten < 0 && errno == EINTR)
            continue;
        if (nWritten <= 0)
            return false;
        nDone += static_cast<size_t>(nWritten);
    }
    return true;
}

CPrevious _Inspect(const fs::path& path)
{
    using EKind = CPrevious::EKind;
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return {};
    const EKind eKind = S_ISREG(info.st_mode)   ? EKind::File
                        : S_ISDIR(info.st_mode) ? EKind::Folder
                                                : EKind::Other;
    return {eKind, static_cast<unsigned>(info.st_mode & 07777)};
}

// A link is followed, so that the file it names is the one replaced.
fs::path _Target(const fs::path& path)
{
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
        return path;
    const std::unique_ptr<char, void (*)(void*)> pszReal(realpath(path.c_str(), nullptr),
                                                         std::free);
    return pszReal ? fs::path(pszReal.get()) : path;
}

// A replaced file keeps its permissions: a private .reg file stays private.
bool _KeepMode(CFileHandle hFile, const CPrevious& previous)
{
    return previous.m_eKind == CPrevious::EKind::Missing ||
           fchmod(hFile, static_cast<mode_t>(previous.m_nMode)) == 0;
}

bool _Flush(CFileHandle hFile) { return fsync(hFile) == 0; }
bool _Close(CFileHandle hFile) { return close(hFile) == 0; }
void _Remove(const fs::path& path) { unlink(path.c_str()); }

// rename() cannot refuse to replace: a hard link can, and where the file
// system has none, Linux's rename without replacing.
bool _PlaceNew(const fs::path& from, const fs::path& to)
{
    if (link(from.c_str(), to.c_str()) == 0) {
        unlink(from.c_str());
        return true;
    }
#ifdef RENAME_NOREPLACE
    if (errno == EPERM || errno == ENOTSUP || errno == ENOSYS)
        return renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0;
#endif
    return false;
}

// The rename itself reaches the disk with the folder.
void _SyncFolder(const fs::path& folder)
{
    const int hFolder =
        open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (hFolder >= 0) {
        fsync(hFolder);
        close(hFolder);
    }
}

bool _Move(const fs::path& from, const fs::path& to, EExisting eExisting)
{
    const bool bMoved = eExisting == EExisting::Replace
                            ? std::rename(from.c_str(), to.c_str()) == 0
                            : _PlaceNew(from, to);
    if (bMoved)
        _SyncFolder(to.parent_path());
    return bMoved;
}

#endif

std::u16string _Reason(unsigned long nError)
{
    for (const CReason& reason : kReasons) {
        if (reason.m_nError == nError)
            return reason.m_pszText;
    }
    return _SystemText(nError);
}

// Unique among the writers of this process (the counter) and of other
// processes (the process id); the clock tells a later process with the same
// id from a killed one whose file was left behind. Creating it exclusively
// and trying another name settles any collision that is left.
fs::path _TempName(const fs::path& target)
{
    static std::atomic<unsigned> s_nCounter{0};
    const auto nTicks = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    const std::string sTag = "." + std::to_string(_ProcessId()) + "-" +
                             std::to_string(s_nCounter++) + "-" +
                             std::to_string(nTicks % 1000000000u) + ".tmp";
    const fs::path name = target.filename().native().size() > kLongestNameKept
                              ? fs::path("write")
                              : target.filename();
    fs::path temp = target.parent_path() / ".";
    temp += name;
    temp += sTag;
    return temp;
}

// A new file beside the target; removed again unless it took the target's place.
class CTempFile {
public:
    CTempFile() = default;
    ~CTempFile()
    {
        if (m_hFile != kNoFile)
            _Close(m_hFile);
        if (!m_path.empty())
            _Remove(m_path);
    }
    CTempFile(const CTempFile&) = delete;
    CTempFile& operator=(const CTempFile&) = delete;

    // Each step returns 0 or the system's error code.
    unsigned long Create(const fs::path& target)
    {
        for (unsigned nTry = 0; nTry < kNameTries; ++nTry) {
            const fs::path path = _TempName(target);
            m_hFile = _CreateNew(path);
            if (m_hFile != kNoFile) {
                m_path = path;
                return 0;
            }
            if (!_IsTaken(_LastError()))
                break;
        }
        return _LastError();
    }

    unsigned long Fill(const std::string& bytes, const CPrevious& previous)
    {
        const bool bDone =
            _WriteAll(m_hFile, bytes) && _KeepMode(m_hFile, previous) && _Flush(m_hFile);
        const unsigned long nError = bDone ? 0 : _LastError();
        const bool bClosed = _Close(std::exchange(m_hFile, kNoFile));
        if (!bDone)
            return nError;
        return bClosed ? 0 : _LastError();
    }

    unsigned long MoveTo(const fs::path& target, EExisting eExisting)
    {
        if (!_Move(m_path, target, eExisting))
            return _LastError();
        m_path.clear();
        return 0;
    }

private:
    fs::path m_path;
    CFileHandle m_hFile = kNoFile;
};

// sWhy says what happened and what became of the target.
CWriteResult _Failed(const fs::path& path, const std::u16string& sWhy)
{
    return {CWriteResult::EOutcome::Failed, u"cannot write '" + path.u16string() + u"': " + sWhy};
}

}  // namespace

bool ReadWholeFile(const std::filesystem::path& path, std::string& bytes, size_t nLimit)
{
    std::ifstream file(path, std::ios::binary);
    return file.is_open() && _ReadAll(file, bytes, nLimit);
}

CWriteResult WriteFileSafely(const fs::path& path, const std::string& bytes, EExisting eExisting)
{
    using EOutcome = CWriteResult::EOutcome;
    using EKind = CPrevious::EKind;
    const fs::path target = _Target(path);
    const CPrevious previous = _Inspect(target);
    const bool bExisted = previous.m_eKind != EKind::Missing;
    // Opening a FIFO or a device could block or write somewhere else entirely.
    if (bExisted && previous.m_eKind != EKind::File)
        return _Failed(path, (previous.m_eKind == EKind::Folder ? u"it is a folder"
                                                                : u"it is not a regular file") +
                                 std::u16string(u"; it was left alone."));
    if (bExisted && eExisting == EExisting::Keep)
        return {EOutcome::AlreadyThere, {}};
    CTempFile temp;
    unsigned long nError = temp.Create(target);
    if (nError == 0)
        nError = temp.Fill(bytes, previous);
    if (nError == 0) {
        nError = temp.MoveTo(target, eExisting);
        if (eExisting == EExisting::Keep && _IsTaken(nError))
            return {EOutcome::AlreadyThere, {}};
    }
    if (nError == 0)
        return {EOutcome::Written, {}};
    return _Failed(path, _Reason(nError) + (bExisted ? u"; the file is unchanged."
                                                     : u"; no file was created."));
}

bool WriteWholeFile(const fs::path& path, const std::string& bytes)
{
    return WriteFileSafely(path, bytes, EExisting::Replace).m_eOutcome ==
           CWriteResult::EOutcome::Written;
}

bool ReadStandardInput(std::string& bytes, size_t nLimit)
{
    _BinaryMode(stdin);
    return _ReadAll(std::cin, bytes, nLimit);
}

bool WriteStandardOutput(const std::string& bytes)
{
    std::fflush(stdout);
    _BinaryMode(stdout);
    const bool bWritten = std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
    return std::fflush(stdout) == 0 && bWritten;
}

}  // namespace vtool
