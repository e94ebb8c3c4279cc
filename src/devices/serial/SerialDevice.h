#pragma once
// The operating system's side of one serial exchange: open a port exclusively, set its
// line, time-outs and queues, write, see what is waiting, read one reply, close. Every
// step that can fail says why in `reason` (the system's own words where it gives them).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tessaro {

#ifdef _WIN32
using SerialHandle = void*;
#else
using SerialHandle = int;
#endif
SerialHandle InvalidSerialHandle();

// Opens the port named as ListComPorts lists it, for reading and writing, exclusive among
// all exchanges of all processes. Received bytes still waiting from before stay for
// TakeWaitingInput, so that the exchange can count what it discards.
SerialHandle OpenSerialExclusive(const std::string& portName, std::string& reason);
void CloseSerial(SerialHandle handle);

// Baud, 8 data bits, parity and stop codes as the Windows line settings count them
// (parity 0 none, 1 odd, 2 even, 3 mark, 4 space; stop 0 one, 1 one and a half, 2 two),
// DTR and RTS on, no flow control, binary.
bool ApplyLineSettings(SerialHandle handle, std::int32_t baud, std::uint8_t parity, std::uint8_t stopBits,
                       std::string& reason);
// A read returns after 20 ms without a new byte once one has come, and after
// 10 ms per wanted byte + 200 ms at the latest; a write gives up after 10 ms per byte +
// 1000 ms.
bool ApplyTimeouts(SerialHandle handle, std::string& reason);
// Driver queues of 4096 bytes each way, where the system has them.
bool ApplyQueueSizes(SerialHandle handle, std::string& reason);

bool WriteAll(SerialHandle handle, std::string_view bytes, std::string& reason);
// Received bytes waiting to be read; -1 when the port reports an error or has gone.
int BytesWaiting(SerialHandle handle);
// The received bytes waiting now (at most kQueueSize), taken without waiting for more.
std::string TakeWaitingInput(SerialHandle handle);
// One read of at most `maxBytes`, appended to `bytes`: ended by the read time-outs above
// (the 20 ms of silence count once `bytes` holds anything) or, where the system lets the
// read stop early, by a line end among the bytes it read. A line that has hung up fails.
bool ReadReply(SerialHandle handle, std::size_t maxBytes, std::string& bytes, std::string& reason);

inline constexpr int kReadIntervalTimeoutMS = 20;
inline constexpr int kReadTotalMultiplierMS = 10;
inline constexpr int kReadTotalConstantMS = 200;
inline constexpr int kWriteTotalMultiplierMS = 10;
inline constexpr int kWriteTotalConstantMS = 1000;
inline constexpr int kQueueSize = 4096;

}  // namespace tessaro
