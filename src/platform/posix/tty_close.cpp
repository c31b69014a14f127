#include "platform/posix/tty_close.h"

#include <pthread.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <mutex>

namespace tarnwick {
namespace {

// A real-time signal no other part of the program uses; its handler does
// nothing, the signal only interrupts the wait in close().
int closeSignal() {
  return SIGRTMIN + 2;
}

extern "C" void onCloseSignal(int) {}

void installCloseSignalHandler() {
  static std::once_flag installed;
  std::call_once(installed, [] {
    struct sigaction action {};
    action.sa_handler = onCloseSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: the interrupted wait must not start over.
    sigaction(closeSignal(), &action, nullptr);
  });
}

// A timer that signals this thread alone once, `limitMs` from now: other
// threads (the station's workers) go on undisturbed.
bool armThreadTimer(unsigned limitMs, timer_t& timer) {
  sigevent event{};
  event.sigev_notify = SIGEV_THREAD_ID;
  event.sigev_signo = closeSignal();
  event._sigev_un._tid = gettid();
  if (timer_create(CLOCK_MONOTONIC, &event, &timer) != 0) return false;
  itimerspec when{};
  when.it_value.tv_sec = limitMs / 1000;
  when.it_value.tv_nsec = static_cast<long>(limitMs % 1000) * 1000000L;
  if (timer_settime(timer, 0, &when, nullptr) == 0) return true;
  timer_delete(timer);
  return false;
}

}  // namespace

void closeTtyWithin(int fd, unsigned limitMs) {
  installCloseSignalHandler();
  sigset_t closeOnly;
  sigset_t previous;
  sigemptyset(&closeOnly);
  sigaddset(&closeOnly, closeSignal());
  pthread_sigmask(SIG_UNBLOCK, &closeOnly, &previous);
  timer_t timer{};
  const bool armed = armThreadTimer(limitMs, timer);
  // Linux frees the descriptor even when close() is interrupted: never retry.
  ::close(fd);
  if (armed) timer_delete(timer);
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

}  // namespace tarnwick
