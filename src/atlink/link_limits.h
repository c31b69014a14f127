#pragma once

#include <cstddef>

namespace tarnwick {

// Bounds of the link. Every wait is bounded; every reply is capped.
constexpr unsigned kWriteWaitMs = 10000;  // per write attempt
constexpr unsigned kReadWaitMs = 200;     // per read request on a silent line
constexpr int kEmptyReadCharge = 200;     // budget charged for a read that yields nothing
constexpr int kTransactionBudget = 10000;  // 50 empty reads per transaction
constexpr int kFlushBudget = 100;          // ends at the first empty read

// A line is the command and one carriage return, copied into a 2048-byte
// buffer with its terminator: commands of up to 2046 characters fit. Longer
// commands are refused whole (false, nothing written) rather than cut.
constexpr std::size_t kLineBufferSize = 2048;
constexpr std::size_t kLongestCommand = kLineBufferSize - 2;

// A reply that never pauses and never ends would otherwise be read for ever,
// since only empty reads are charged. No AT answer comes near 64 KiB; a
// transaction that receives more bytes than that (NULs included) fails.
constexpr std::size_t kReplyCap = 64 * 1024;

}  // namespace tarnwick
