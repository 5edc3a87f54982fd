// pal/'s own process-wide tables. One is made on first use and released by an
// exit handler registered at that moment: handlers run in reverse order, so
// the static destructors of everything made before the table (a library's
// entry notification closes handles from one) still find it, and unloading
// a library leaves nothing behind.
#pragma once
#include <atomic>
#include <cstdlib>
#include <memory>

namespace pal {

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
        std::atexit(&CLasting::_Release);
        return *fresh.release();
    }

private:
    static void _Release() { std::unique_ptr<T>(s_slot.exchange(nullptr)); }

    static inline std::atomic<T*> s_slot{nullptr};
};

}  // namespace pal
