#include "pal/registry/CHiveFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <random>

#include "pal/base/settings.h"
#include "pal/registry/CFileLock.h"
#include "pal/registry/CHiveCache.h"
#include "pal/registry/HiveText.h"
#include "pal/registry/RegProblem.h"

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

constexpr const char* kTempInfix = ".tmp.";
// A writer stalled longer than this (stopped, or on a hung file system) is
// taken for gone: the caller gets ERROR_TIMEOUT rather than freezing with it.
constexpr unsigned kDefaultLockTimeoutMs = 10000;
constexpr int kTempAttempts = 8;

// Unique among live writers: the pid and a counter, and a random part for a
// pid reused after a writer was killed before it could remove its file.
std::string TempPath(const std::string& path)
{
    static std::atomic<unsigned> s_counter{0};
    static thread_local std::minstd_rand s_random(std::random_device{}());
    return path + kTempInfix + std::to_string(getpid()) + "." + std::to_string(++s_counter) + "." +
           std::to_string(s_random());
}

// Under the hive's lock no live writer has a temporary file: any left there
// belongs to a writer that was killed.
void RemoveStaleTemps(const std::string& path)
{
    const std::filesystem::path hive(path);
    const std::string prefix = hive.filename().string() + kTempInfix;
    std::error_code error;
    for (std::filesystem::directory_iterator it(hive.parent_path(), error), end;
         !error && it != end; it.increment(error)) {
        if (it->path().filename().string().rfind(prefix, 0) == 0)
            unlink(it->path().c_str());
    }
}

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

unsigned LockTimeoutMs()
{
    const std::string text = pal::GetSetting("VESK_REGISTRY_LOCK_MS");
    char* end = nullptr;
    const unsigned long value = std::strtoul(text.c_str(), &end, 10);
    const bool valid = !text.empty() && *end == '\0' && value <= 3600000;
    return valid ? static_cast<unsigned>(value) : kDefaultLockTimeoutMs;
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
            return ReportProblem(FromErrno(errno, ERROR_CANTREAD),
                                 "cannot read " + Quoted(m_sPath) + ": " + std::strerror(errno));
        tree = std::make_shared<const CKeyNode>(HiveRootName(m_eHive));
        mtimeNs = 0;
        return ERROR_SUCCESS;
    }
    if (!S_ISREG(info.st_mode))
        return ReportProblem(ERROR_BADDB, "the hive " + Quoted(m_sPath) + " is not a regular file");
    CHiveCache& cache = CHiveCache::Instance();
    if (!cache.Find(m_sPath, FileStamp::Of(info), tree)) {
        // Non-blocking: a FIFO put there since the look above must not hang us.
        const int fd = open(m_sPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            return ReportProblem(FromErrno(errno, ERROR_CANTREAD),
                                 "cannot read " + Quoted(m_sPath) + ": " + std::strerror(errno));
        std::string bytes;
        // The descriptor's own stamp: the path may name a newer file by now.
        const bool regular = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
        const bool read = regular && ReadAll(fd, bytes);
        const int failure = errno;
        close(fd);
        if (!regular)
            return ReportProblem(ERROR_BADDB,
                                 "the hive " + Quoted(m_sPath) + " is not a regular file");
        if (!read)
            return ReportProblem(ERROR_CANTREAD,
                                 "cannot read " + Quoted(m_sPath) + ": " + std::strerror(failure));
        std::string why;
        tree = ReadHiveText(bytes, m_eHive, why);
        cache.Store(m_sPath, FileStamp::Of(info), tree);
        if (!tree)
            return ReportProblem(ERROR_BADDB, "the hive " + Quoted(m_sPath) + " is damaged, " +
                                                  why + "; it is left as it is");
    }
    mtimeNs = FileStamp::Of(info).mtimeNs;
    if (!tree)
        return ReportProblem(ERROR_BADDB,
                             "the hive " + Quoted(m_sPath) + " is damaged; it is left as it is");
    return ERROR_SUCCESS;
}

LSTATUS CHiveFile::Update(const Change& change) const
{
    // A change that changes nothing needs no lock: a stalled writer elsewhere
    // must not hold up, say, a library that re-registers what is registered.
    std::shared_ptr<const CKeyNode> seen;
    int64_t seenNs = 0;
    std::shared_ptr<CKeyNode> next;
    bool modified = false;
    bool prepared = false;
    if (_Load(seen, seenNs) == ERROR_SUCCESS) {
        next = std::make_shared<CKeyNode>(*seen);
        if (change(*next, modified) == ERROR_SUCCESS) {
            if (!modified)
                return ERROR_SUCCESS;
            prepared = true;
        }
    }

    const std::string folder = std::filesystem::path(m_sPath).parent_path().string();
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error)
        return ReportProblem(FromErrno(error.value(), ERROR_CANTWRITE),
                             "cannot create the folder " + Quoted(folder) + ": " + error.message());
    CFileLock lock;
    const unsigned timeoutMs = LockTimeoutMs();
    if (const int failure = lock.Acquire(m_sPath + ".lock", timeoutMs)) {
        if (failure == ETIMEDOUT)
            return ReportProblem(ERROR_TIMEOUT, "another process has held the lock of " +
                                                    Quoted(m_sPath) + " for " +
                                                    std::to_string(timeoutMs) + " ms");
        return ReportProblem(FromErrno(failure, ERROR_CANTWRITE),
                             "cannot lock " + Quoted(m_sPath) + ": " + std::strerror(failure));
    }
    RemoveStaleTemps(m_sPath);

    std::shared_ptr<const CKeyNode> current;
    int64_t mtimeNs = 0;
    if (const LSTATUS status = _Load(current, mtimeNs))
        return status;
    // Unchanged since the look without the lock: that copy already holds the change.
    if (!prepared || current != seen || mtimeNs != seenNs) {
        next = std::make_shared<CKeyNode>(*current);
        modified = false;
        if (const LSTATUS status = change(*next, modified); status != ERROR_SUCCESS || !modified)
            return status;
    }

    FileStamp written;
    if (const LSTATUS status = _Write(WriteHiveText(*next, m_eHive), mtimeNs, written))
        return status;
    CHiveCache::Instance().Store(m_sPath, written, std::move(next));
    return ERROR_SUCCESS;
}

LSTATUS CHiveFile::_Write(const std::string& text, int64_t previousMtimeNs,
                          FileStamp& written) const
{
    std::string temp;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < kTempAttempts; ++attempt) {
        temp = TempPath(m_sPath);
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return ReportProblem(FromErrno(errno, ERROR_CANTWRITE),
                             "cannot create " + Quoted(temp) + ": " + std::strerror(errno));
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
        return ReportProblem(FromErrno(failure, ERROR_CANTWRITE),
                             "cannot write " + Quoted(m_sPath) + ": " + std::strerror(failure) +
                                 "; the hive is unchanged");
    }
    SyncFolder(std::filesystem::path(m_sPath).parent_path().string());
    written = FileStamp::Of(info);
    return ERROR_SUCCESS;
}

}  // namespace pal::registry
