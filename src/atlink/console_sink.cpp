#include "atlink/link_sink.h"
#include "diag/console_print.h"
#include "download/spinner.h"

namespace tarnwick {
namespace {

constexpr std::uint32_t kPacketsPerSpinnerStep = 10;

class ConsoleSink final : public LinkSink {
 public:
  void message(const std::string& text) override { consoleWrite(text); }
  void warning(const std::string& text) override { consoleWarnWrite(text); }

  // The spinner moves at the 1st, 11th, 21st, ... attempt, the failed one too.
  void packetDone(std::uint32_t packet, std::uint32_t, std::uint64_t, std::uint64_t,
                  bool) override {
    if ((packet - 1) % kPacketsPerSpinnerStep == 0) advanceSpinner();
  }
};

}  // namespace

LinkSink& consoleSink() {
  static ConsoleSink sink;
  return sink;
}

}  // namespace tarnwick
