#include "station/run/run_setup.h"

#include <chrono>
#include <random>

#include "discovery/inventory.h"
#include "platform/host_name.h"
#include "platform/terminal.h"
#include "station/model/exit_status.h"
#include "station/views/plain_lines.h"
#include "text/iso_time.h"

namespace tarnwick {

void say(std::FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

int statusAfterOutput(int status, std::FILE* out, std::FILE* err) {
  if (std::fflush(out) == 0 && !std::ferror(out)) return status;
  say(err, "tarnwick-station: standard output could not be written\n");
  return status == kExitDone ? kExitFailed : status;
}

std::string newRunId() {
  std::random_device random;
  char suffix[9];
  std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(random()));
  std::string when = isoTimeUtc(std::chrono::system_clock::now());
  std::string compact;
  for (char c : when.substr(0, 19)) {
    if (c != '-' && c != ':') compact.push_back(c);
  }
  return compact + "Z-" + suffix;
}

ModemRecord recordBaseFor(const ImageSource& image, const std::string& toolVersion) {
  ModemRecord base;
  base.run = newRunId();
  base.host = hostName();
  base.toolVersion = toolVersion;
  base.image = image.path();
  base.imageSize = image.size();
  base.imageSha256 = image.sha256();
  return base;
}

std::unique_ptr<RunView> humanViewFor(ProgressMode mode, std::FILE* stream, bool colour,
                                      const TerminalViewMaker& makeTable) {
  switch (mode) {
    case ProgressMode::None:
      return nullptr;
    case ProgressMode::Plain:
      return std::make_unique<PlainLines>(stream, colour);
    case ProgressMode::Tty:
      enableTerminalEscapes(stream);
      return makeTable();
    case ProgressMode::Auto:
      break;
  }
  if (isTerminal(stream) && enableTerminalEscapes(stream)) return makeTable();
  return std::make_unique<PlainLines>(stream, colour);
}

}  // namespace tarnwick
