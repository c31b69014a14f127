#include "station/run/flash_run.h"

#include <thread>

#include "station/run/event_queue.h"
#include "station/run/job_slots.h"

namespace tarnwick {
namespace {

// The longest the reader waits for an event before it ticks the views and
// looks at the stop request.
constexpr int kTickMs = 50;

}  // namespace

void runFlash(FlashRunSetup& setup, RunOutput& output) {
  EventQueue events;
  std::atomic<bool> stop{false};
  const int count = static_cast<int>(setup.targets.size());
  JobSlots slots(setup.jobs > 0 && setup.jobs < count ? setup.jobs : count);
  setup.shared.stop = &stop;
  setup.shared.slots = &slots;

  std::vector<std::thread> workers(setup.targets.size());
  for (std::size_t index = 0; index < setup.targets.size(); ++index) {
    std::string why;
    const auto work = [&setup, &events, index] {
      Worker(setup.targets[index], index, setup.shared, events).run();
    };
    if (!startThread(setup.makeThread, workers[index], work, why)) {
      Worker(setup.targets[index], index, setup.shared, events)
          .fail("no worker thread could be started: " + why);
    }
  }

  std::size_t ended = 0;
  while (ended < setup.targets.size()) {
    StationEvent event;
    if (events.take(event, kTickMs)) {
      if (event.kind == EventKind::ModemEnd) {
        ++ended;
        // Written before it is shown, so the views can say when it was lost.
        event.recordWritten = output.keep(event.modem, event.record);
      }
      output.show(event);
    }
    if (!stop.load() && setup.stopRequested()) {
      stop.store(true);
      slots.wakeAll();
    }
    output.tick();
  }
  for (std::thread& worker : workers) {
    if (worker.joinable()) worker.join();
  }
  output.finishViews();
}

}  // namespace tarnwick
