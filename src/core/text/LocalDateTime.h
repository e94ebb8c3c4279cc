#pragma once
// A reading of the local wall clock, handed into the core by the caller: the core never
// reads a clock itself. Only for what is shown or written (time stamps, file names).

namespace tessaro {

struct TLocalDateTime {
    int Year = 0;
    int Month = 1;
    int Day = 1;
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int Millisecond = 0;
};

}  // namespace tessaro
