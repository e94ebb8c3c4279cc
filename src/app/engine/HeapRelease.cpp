#include "HeapRelease.h"

#include <cstdlib>  // defines __GLIBC__ where it applies

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace tessaro {

void ReleaseFreeHeapPages() {
#if defined(__GLIBC__)
    // With a pad of 0 the heap's top is cut to the last block in use, and the pages inside
    // free blocks further down are given back as well.
    malloc_trim(0);
#endif
}

}  // namespace tessaro
