#pragma once

// Qt 5 hands queued-signal arguments from one thread to another through its event queue, whose
// locking ThreadSanitizer cannot see (Qt is not built with it). Value types that travel between
// threads announce the handoff themselves: a copy made on the sending thread releases, the copy
// taken from it on the receiving thread acquires. Outside ThreadSanitizer builds these are empty.

#if defined(__SANITIZE_THREAD__)
#define VELA_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VELA_TSAN 1
#endif
#endif

#ifdef VELA_TSAN
#include <sanitizer/tsan_interface.h>
#endif

namespace ThreadHandoff {

// Marks everything this thread wrote so far as visible to whoever later accepts `object`.
inline void announce(const void *object)
{
#ifdef VELA_TSAN
    __tsan_release(const_cast<void *>(object));
#else
    (void)object;
#endif
}

// Takes over what the thread that announced `object` wrote before it did.
template <typename T>
inline const T &accept(const T &object)
{
#ifdef VELA_TSAN
    __tsan_acquire(const_cast<T *>(&object));
#endif
    return object;
}

} // namespace ThreadHandoff
