#pragma once
// The per-map lock and the two ways of taking it. No thread waits for it while attached to the
// interpreter: waiting attached could deadlock against a thread that holds the lock and needs the
// interpreter (a stop-the-world pause of the free-threaded build, or the GIL elsewhere).
#include <atomic>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>

#include "python/py.hpp"

namespace vantorel::python {

class MapLock {
public:
    // True when the calling thread holds the lock: a finaliser or tracer callback that calls
    // back into the map from inside a method would otherwise wait for itself forever.
    bool held_by_this_thread() const noexcept {
        return owner_.load(std::memory_order_relaxed) == std::this_thread::get_id();
    }
    bool poisoned() const noexcept { return poisoned_.load(std::memory_order_relaxed); }

    class Guard {
    public:
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;
        ~Guard() {
            // Unwinding from a stop that began after the lock was taken poisons it; nothing
            // refuses a poisoned map, the flag only records that it happened.
            if (std::uncaught_exceptions() > exceptions_at_lock_) {
                lock_.poisoned_.store(true, std::memory_order_relaxed);
            }
            lock_.owner_.store(std::thread::id(), std::memory_order_relaxed);
            lock_.mutex_.unlock();
        }

    private:
        friend class MapLock;
        explicit Guard(MapLock& lock) : lock_(lock), exceptions_at_lock_(std::uncaught_exceptions()) {
            lock_.owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
        }
        MapLock& lock_;
        int exceptions_at_lock_;
    };

    // Called attached. Tries the lock without waiting; waits only detached.
    Guard lock_attached() {
        if (!mutex_.try_lock()) {
            Detached detached;
            mutex_.lock();
        }
        return Guard(*this);
    }

    // Called detached: waits as long as needed.
    Guard lock_detached() {
        mutex_.lock();
        return Guard(*this);
    }

private:
    std::mutex mutex_;
    std::atomic<std::thread::id> owner_{};
    std::atomic<bool> poisoned_{false};
};

// Sets the RuntimeError of a method called while this thread already holds the map's lock.
inline void set_reentrant_error() {
    PyErr_SetString(PyExc_RuntimeError,
                    "CoverageMap method called re-entrantly while this thread holds the map's lock "
                    "(from a finaliser or callback run inside another method of the same map)");
}

// Path B of every method that reads or changes a map: called attached with the arguments already
// converted; detaches, locks, runs `work` on the map, unlocks and re-attaches. nullopt with the
// RuntimeError set when this thread already holds the lock. A C++ exception from `work` unlocks
// (poisoning the lock) and re-attaches on its way to the boundary, which raises PanicException.
template <typename Map, typename F>
auto with_map_detached(MapLock& lock, Map& map, F&& work) -> std::optional<std::invoke_result_t<F&, Map&>> {
    if (lock.held_by_this_thread()) {
        set_reentrant_error();
        return std::nullopt;
    }
    Detached detached;
    MapLock::Guard guard = lock.lock_detached();
    return work(map);
}

// Path A, for the methods that build Python objects from report data: `work` runs attached
// with the lock held; the lock is tried attached and waited for only detached. nullopt with the
// RuntimeError set on a re-entrant call.
template <typename Map, typename F>
auto with_map_attached(MapLock& lock, Map& map, F&& work) -> std::optional<std::invoke_result_t<F&, Map&>> {
    if (lock.held_by_this_thread()) {
        set_reentrant_error();
        return std::nullopt;
    }
    MapLock::Guard guard = lock.lock_attached();
    return work(map);
}

}  // namespace vantorel::python
