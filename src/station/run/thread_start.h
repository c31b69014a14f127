#pragma once

#include <functional>
#include <string>
#include <thread>

namespace tarnwick {

// Makes a thread that runs `work`. When the system gives no thread (a
// process or thread limit, no memory for its stack) it throws
// std::system_error, as std::thread's constructor does.
using ThreadFactory = std::function<std::thread(std::function<void()> work)>;

std::thread systemThread(std::function<void()> work);

// Starts `work` on a thread from `factory`, held in `thread`. False with
// `why` when no thread could be had; `thread` is then left without one.
bool startThread(const ThreadFactory& factory, std::thread& thread, std::function<void()> work,
                 std::string& why);

}  // namespace tarnwick
