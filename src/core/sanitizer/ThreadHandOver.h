#pragma once
// Marks for ThreadSanitizer where one thread hands memory over to another through a
// mechanism it cannot see: Qt's blocking queued calls synchronise with Qt's own locks,
// which a Qt built without the sanitizer does not report. The thread that hands over
// calls HandOver(token) last; the thread that takes over calls TakeOver(token) first.
// Both are empty outside a ThreadSanitizer build.

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

namespace tessaro {

inline void HandOver([[maybe_unused]] const void* token) {
#if defined(__SANITIZE_THREAD__)
    __tsan_release(const_cast<void*>(token));
#endif
}

inline void TakeOver([[maybe_unused]] const void* token) {
#if defined(__SANITIZE_THREAD__)
    __tsan_acquire(const_cast<void*>(token));
#endif
}

}  // namespace tessaro
