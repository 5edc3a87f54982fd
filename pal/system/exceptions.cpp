#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <vector>

#include "pal/base/lasting.h"
#include "pal/system/system.h"
#include "pal/system/threadname.h"

namespace {

constexpr DWORD kThreadNaming = 0x406D1388;
constexpr DWORD kThreadNameType = 0x1000;

class CVectoredHandlers {
public:
    PVOID Add(bool first, PVECTORED_EXCEPTION_HANDLER handler)
    {
        std::lock_guard<std::mutex> guard(m_oLock);
        const SEntry entry{m_nNextId++, handler};
        if (first)
            m_dqEntries.push_front(entry);
        else
            m_dqEntries.push_back(entry);
        return reinterpret_cast<PVOID>(entry.id);
    }

    bool Remove(PVOID handle)
    {
        std::lock_guard<std::mutex> guard(m_oLock);
        const auto it = std::find_if(m_dqEntries.begin(), m_dqEntries.end(), [&](const SEntry& e) {
            return e.id == reinterpret_cast<uintptr_t>(handle);
        });
        if (it == m_dqEntries.end())
            return false;
        m_dqEntries.erase(it);
        return true;
    }

    // Handlers run outside the lock, so that they may add or remove handlers.
    std::vector<PVECTORED_EXCEPTION_HANDLER> Snapshot() const
    {
        std::lock_guard<std::mutex> guard(m_oLock);
        std::vector<PVECTORED_EXCEPTION_HANDLER> handlers;
        for (const SEntry& entry : m_dqEntries)
            handlers.push_back(entry.handler);
        return handlers;
    }

private:
    struct SEntry {
        uintptr_t id;
        PVECTORED_EXCEPTION_HANDLER handler;
    };
public:
    void Quiesce() const { std::lock_guard<std::mutex> guard(m_oLock); }

private:
    mutable std::mutex m_oLock;
    std::deque<SEntry> m_dqEntries;
    uintptr_t m_nNextId = 1;
};

CVectoredHandlers& Handlers() { return pal::CLasting<CVectoredHandlers>::Get(); }

// Four words (type, name, thread id, flags) as the 32-bit build passes them;
// the same record memcpy'd on a 64-bit build spans three words, with the
// thread id in the low half of the third.
void ShowDebugger(const EXCEPTION_RECORD& record)
{
    const ULONG_PTR* info = record.ExceptionInformation;
    if (record.ExceptionCode != kThreadNaming || record.NumberParameters < 3 ||
        record.NumberParameters > 4 || static_cast<DWORD>(info[0]) != kThreadNameType || !info[1])
        return;
    pal::NameThread(static_cast<DWORD>(info[2]), reinterpret_cast<const char*>(info[1]));
}

// The nested record says which exception was wrongly continued.
[[noreturn]] void EndProcess(const EXCEPTION_RECORD& record)
{
    const EXCEPTION_RECORD* inner = record.ExceptionRecord;
    std::fprintf(stderr, "pal: unhandled exception 0x%08X at %p in thread %u",
                 static_cast<unsigned>(record.ExceptionCode), record.ExceptionAddress,
                 static_cast<unsigned>(GetCurrentThreadId()));
    if (inner)
        std::fprintf(stderr, " (continuing noncontinuable exception 0x%08X)",
                     static_cast<unsigned>(inner->ExceptionCode));
    std::fputc('\n', stderr);
    std::fflush(stderr);
    std::abort();
}

}  // namespace

void WINAPI RaiseException(DWORD code, DWORD flags, DWORD argumentCount, const ULONG_PTR* arguments)
{
    EXCEPTION_RECORD record{};
    record.ExceptionCode = code;
    record.ExceptionFlags = flags & EXCEPTION_NONCONTINUABLE;
    record.ExceptionAddress = __builtin_return_address(0);
    record.NumberParameters =
        arguments ? std::min<DWORD>(argumentCount, EXCEPTION_MAXIMUM_PARAMETERS) : 0;
    std::copy_n(arguments, record.NumberParameters, record.ExceptionInformation);

    ShowDebugger(record);
    EXCEPTION_POINTERS pointers{&record, nullptr};
    for (const PVECTORED_EXCEPTION_HANDLER handler : Handlers().Snapshot()) {
        if (handler(&pointers) != EXCEPTION_CONTINUE_EXECUTION)
            continue;
        if (record.ExceptionFlags & EXCEPTION_NONCONTINUABLE) {
            EXCEPTION_RECORD nested{};
            nested.ExceptionCode = STATUS_NONCONTINUABLE_EXCEPTION;
            nested.ExceptionFlags = EXCEPTION_NONCONTINUABLE;
            nested.ExceptionRecord = &record;
            nested.ExceptionAddress = record.ExceptionAddress;
            EndProcess(nested);
        }
        return;
    }
    EndProcess(record);
}

PVOID WINAPI AddVectoredExceptionHandler(ULONG first, PVECTORED_EXCEPTION_HANDLER handler)
{
    if (!handler) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return Handlers().Add(first != 0, handler);
}

ULONG WINAPI RemoveVectoredExceptionHandler(PVOID handle)
{
    return Handlers().Remove(handle) ? 1 : 0;
}
