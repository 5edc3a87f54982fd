#include <pthread.h>

#include <atomic>
#include <csignal>
#include <future>
#include <thread>

#include "SystemTestKit.h"

namespace {

constexpr DWORD kThreadNaming = 0x406D1388;
constexpr DWORD kTestCode = 0xE0564B10;

// Handlers are plain functions, so what they see is global.
std::string g_sOrder;
EXCEPTION_RECORD g_oRecord;

template <char Mark, LONG Result>
LONG WINAPI Note(PEXCEPTION_POINTERS info)
{
    g_sOrder += Mark;
    g_oRecord = *info->ExceptionRecord;
    return Result;
}
const auto Search = Note<'s', EXCEPTION_CONTINUE_SEARCH>;
const auto Continue = Note<'c', EXCEPTION_CONTINUE_EXECUTION>;
const auto Never = Note<'n', EXCEPTION_CONTINUE_EXECUTION>;

class CScopedHandler {
public:
    explicit CScopedHandler(PVECTORED_EXCEPTION_HANDLER handler, ULONG first = 0)
        : m_pHandle(AddVectoredExceptionHandler(first, handler)) {}
    ~CScopedHandler() { RemoveVectoredExceptionHandler(m_pHandle); }
    CScopedHandler(const CScopedHandler&) = delete;
    CScopedHandler& operator=(const CScopedHandler&) = delete;

private:
    PVOID m_pHandle;
};

class ExceptionsTest : public systest::CMachineTest {
protected:
    ExceptionsTest() { g_sOrder.clear(); }
};

std::string OwnThreadName()
{
    char name[32] = {};
    pthread_getname_np(pthread_self(), name, sizeof name);
    return name;
}

void RaiseThreadName(const char* name, DWORD threadId = static_cast<DWORD>(-1))
{
    const ULONG_PTR words[4] = {0x1000, reinterpret_cast<ULONG_PTR>(name), threadId, 0};
    RaiseException(kThreadNaming, 0, 4, words);
}

TEST_F(ExceptionsTest, HandlersRunInOrderUntilOneContinues)
{
    CScopedHandler second(Search), third(Continue), fourth(Never), first(Search, 1);
    const PVOID gone = AddVectoredExceptionHandler(1, Never);
    EXPECT_EQ(RemoveVectoredExceptionHandler(gone), 1u);
    EXPECT_EQ(RemoveVectoredExceptionHandler(gone), 0u) << "removal counts once";
    ULONG_PTR words[20];
    for (ULONG_PTR i = 0; i < 20; ++i)
        words[i] = i * 3;
    RaiseException(kTestCode, 0xF0, 20, words);
    EXPECT_EQ(g_sOrder, "ssc");
    EXPECT_EQ(g_oRecord.ExceptionCode, kTestCode);
    EXPECT_EQ(g_oRecord.ExceptionFlags, 0u) << "only the noncontinuable bit is kept";
    EXPECT_EQ(g_oRecord.NumberParameters, 15u);
    EXPECT_EQ(g_oRecord.ExceptionInformation[14], 42u);
}

TEST_F(ExceptionsTest, NamingNotificationNamesTheThreadItIsMeantFor)
{
    CScopedHandler naming(Continue);
    std::string names;
    std::thread([&] {
        for (const char* name : {"capture", "a-thread-name-longer-than-fifteen",
                                 "abcdefghijklmn\xc3\xa9z"}) {  // cut before, not inside, the é
            RaiseThreadName(name);
            names += OwnThreadName() + "|";
        }
        // The record copied whole on a 64-bit build: three words, the thread
        // id in the low half of the third.
        const ULONG_PTR words[3] = {0xCCCCCCCC00001000ull, reinterpret_cast<ULONG_PTR>("sixty-four"),
                                    0x00000000FFFFFFFFull};
        RaiseException(kThreadNaming, 0, 3, words);
        names += OwnThreadName();
    }).join();
    EXPECT_EQ(names, "capture|a-thread-name-l|abcdefghijklmn|sixty-four");

    std::promise<DWORD> workerId;
    std::atomic<bool> named{false};
    std::string seen;
    std::thread worker([&] {
        workerId.set_value(GetCurrentThreadId());
        while (!named)
            std::this_thread::yield();
        seen = OwnThreadName();
    });
    const std::string before = OwnThreadName();
    RaiseThreadName("by-id", workerId.get_future().get());
    RaiseThreadName("nobody", 0x7FFFFFF0);  // no such thread: ignored
    named = true;
    worker.join();
    EXPECT_EQ(seen, "by-id");
    EXPECT_EQ(OwnThreadName(), before);
}

TEST_F(ExceptionsTest, UnhandledExceptionsEndTheProcess)
{
    EXPECT_EXIT(RaiseException(0xE0564B01, 0, 0, nullptr), ::testing::KilledBySignal(SIGABRT),
                "unhandled exception 0xE0564B01");
    EXPECT_EXIT(((void)AddVectoredExceptionHandler(1, Continue),
                 RaiseException(0xE0564B02, EXCEPTION_NONCONTINUABLE, 0, nullptr)),
                ::testing::KilledBySignal(SIGABRT), "0xC0000025.*noncontinuable exception 0xE0564B02");
    // The debugger names the thread but leaves the notification to the
    // handlers: without a debugger it would end a Windows process too.
    EXPECT_EXIT(RaiseThreadName("doomed"), ::testing::KilledBySignal(SIGABRT), "0x406D1388");
}

}  // namespace
