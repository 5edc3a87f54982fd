// pal/'s own process-wide tables. One is made on first use and released by an
// exit handler registered at that moment: handlers run in reverse order, so
// the static destructors of everything made before the table (a library's
// entry notification closes handles from one) still find it, and unloading
// a library leaves nothing behind.
#pragma once
#include <atomic>
#include <memory>
#include <mutex>

// The exit handler belongs to the module holding this copy of pal/, so that
// unloading a library runs it then (plain atexit() may not keep the module).
extern "C" int __cxa_atexit(void (*handler)(void*), void* argument, void* module);
extern "C" void* __dso_handle __attribute__((__visibility__("hidden")));

namespace pal {

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
        __cxa_atexit([](void*) { CLasting::_Release(); }, nullptr, &__dso_handle);
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
