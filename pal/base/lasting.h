// pal/'s own process-wide tables. One is made on first use and released, in
// reverse order of making, by one exit handler that the module holding this
// copy of pal/ registered as it was loaded. Handlers run in reverse order, so
// that one runs after every static destructor and every later handler of the
// module: whatever still runs then (a library's entry notification, a thread
// it waits for at exit) still finds the tables, and unloading a library
// leaves nothing behind.
#pragma once
#include <atomic>
#include <memory>
#include <mutex>

namespace pal {

// Queues a table's release for the module's last exit handler. Past its
// capacity a table is kept for the life of the process instead.
void ReleaseAtModuleExit(void (*release)());

namespace lasting_detail {

// Passing through the table's own lock orders its release after every
// change another thread made under that lock.
template <class T>
auto Quiesce(T& table, int) -> decltype(table.lock.lock(), void())
{
    table.lock.lock();
    table.lock.unlock();
}

template <class T>
auto Quiesce(T& table, long) -> decltype(table.Quiesce(), void())
{
    table.Quiesce();
}

}  // namespace lasting_detail

template <class T>
class CLasting {
public:
    static T& Get()
    {
        T* current = s_slot.load(std::memory_order_acquire);
        if (current)
            return *current;
        auto fresh = std::make_unique<T>();
        if (!s_slot.compare_exchange_strong(current, fresh.get(), std::memory_order_acq_rel))
            return *current;
        ReleaseAtModuleExit(&CLasting::_Release);
        return *fresh.release();
    }

private:
    static void _Release()
    {
        std::unique_ptr<T> table(s_slot.exchange(nullptr));
        if (table)
            lasting_detail::Quiesce(*table, 0);
    }

    static inline std::atomic<T*> s_slot{nullptr};
};

}  // namespace pal
