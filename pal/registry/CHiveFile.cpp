#include "pal/registry/CHiveFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <ctime>
#include <filesystem>

#include "pal/registry/CFileLock.h"
#include "pal/registry/CHiveCache.h"
#include "pal/registry/HiveText.h"

namespace pal::registry {

namespace {

LSTATUS FromErrno(int error, LSTATUS fallback)
{
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS: return ERROR_ACCESS_DENIED;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    default: return fallback;
    }
}

int64_t NowNs()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

bool ReadAll(int fd, std::string& bytes)
{
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0)
            bytes.append(buffer, static_cast<size_t>(n));
        else if (n == 0)
            return true;
        else if (errno != EINTR)
            return false;
    }
}

bool WriteAll(int fd, const std::string& bytes)
{
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += static_cast<size_t>(n);
        else if (errno != EINTR)
            return false;
    }
    return true;
}

// Gives the file a modification time later than `previousNs`, coarsening the
// step when the file system keeps less than nanoseconds.
bool StampAfter(int fd, int64_t previousNs, struct stat& info)
{
    int64_t step = 1;
    for (int attempt = 0; attempt < 4; ++attempt, step *= 1000) {
        const int64_t wanted = std::max(NowNs(), previousNs + step);
        const timespec times[2] = {{0, UTIME_OMIT},
                                   {static_cast<time_t>(wanted / 1000000000),
                                    static_cast<long>(wanted % 1000000000)}};
        if (futimens(fd, times) != 0 || fstat(fd, &info) != 0)
            return false;
        if (FileStamp::Of(info).mtimeNs > previousNs)
            return true;
    }
    return false;
}

std::string TempPath(const std::string& path)
{
    static std::atomic<unsigned> s_counter{0};
    return path + ".tmp." + std::to_string(getpid()) + "." + std::to_string(++s_counter);
}

void SyncFolder(const std::string& folder)
{
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

}  // namespace

CHiveFile::CHiveFile(HiveId hive) : m_eHive(hive), m_sPath(HiveFilePath(hive)) {}

LSTATUS CHiveFile::Load(std::shared_ptr<const CKeyNode>& tree) const
{
    int64_t mtimeNs = 0;
    return _Load(tree, mtimeNs);
}

LSTATUS CHiveFile::_Load(std::shared_ptr<const CKeyNode>& tree, int64_t& mtimeNs) const
{
    struct stat info {};
    if (stat(m_sPath.c_str(), &info) != 0) {
        if (errno != ENOENT && errno != ENOTDIR)
            return FromErrno(errno, ERROR_CANTREAD);
        tree = std::make_shared<const CKeyNode>(HiveRootName(m_eHive));
        mtimeNs = 0;
        return ERROR_SUCCESS;
    }
    CHiveCache& cache = CHiveCache::Instance();
    if (!cache.Find(m_sPath, FileStamp::Of(info), tree)) {
        const int fd = open(m_sPath.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return FromErrno(errno, ERROR_CANTREAD);
        std::string bytes;
        // The descriptor's own stamp: the path may name a newer file by now.
        const bool read = fstat(fd, &info) == 0 && ReadAll(fd, bytes);
        close(fd);
        if (!read)
            return ERROR_CANTREAD;
        tree = ReadHiveText(bytes, m_eHive);
        cache.Store(m_sPath, FileStamp::Of(info), tree);
    }
    mtimeNs = FileStamp::Of(info).mtimeNs;
    return tree ? ERROR_SUCCESS : ERROR_BADDB;
}

LSTATUS CHiveFile::Update(const Change& change) const
{
    const std::string folder = std::filesystem::path(m_sPath).parent_path().string();
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error)
        return FromErrno(error.value(), ERROR_CANTWRITE);
    CFileLock lock;
    if (const int failure = lock.Acquire(m_sPath + ".lock"))
        return FromErrno(failure, ERROR_CANTWRITE);

    std::shared_ptr<const CKeyNode> current;
    int64_t mtimeNs = 0;
    if (const LSTATUS status = _Load(current, mtimeNs))
        return status;
    auto next = std::make_shared<CKeyNode>(*current);
    bool modified = false;
    if (const LSTATUS status = change(*next, modified); status != ERROR_SUCCESS || !modified)
        return status;

    FileStamp written;
    if (const LSTATUS status = _Write(WriteHiveText(*next, m_eHive), mtimeNs, written))
        return status;
    CHiveCache::Instance().Store(m_sPath, written, std::move(next));
    return ERROR_SUCCESS;
}

LSTATUS CHiveFile::_Write(const std::string& text, int64_t previousMtimeNs,
                          FileStamp& written) const
{
    const std::string temp = TempPath(m_sPath);
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return FromErrno(errno, ERROR_CANTWRITE);
    struct stat info {};
    bool ok = WriteAll(fd, text) && StampAfter(fd, previousMtimeNs, info) && fsync(fd) == 0;
    int failure = ok ? 0 : errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        failure = errno;
    }
    if (ok && rename(temp.c_str(), m_sPath.c_str()) != 0) {
        ok = false;
        failure = errno;
    }
    if (!ok) {
        unlink(temp.c_str());
        return FromErrno(failure, ERROR_CANTWRITE);
    }
    SyncFolder(std::filesystem::path(m_sPath).parent_path().string());
    written = FileStamp::Of(info);
    return ERROR_SUCCESS;
}

}  // namespace pal::registry
