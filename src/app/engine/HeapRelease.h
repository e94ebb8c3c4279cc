#pragma once
// Giving freed heap memory back to the system.

namespace tessaro {

// A long run frees much of what it allocated, in blocks between ones it keeps: the C library
// keeps those pages resident for later use, and the run's resident size grows with the holes.
// This returns every whole page of freed heap memory to the system (where the C library can;
// elsewhere it does nothing). It costs a walk over the heap's free blocks: call it at a calm
// point, not on every tick.
void ReleaseFreeHeapPages();

}  // namespace tessaro
