#include "sim_loop.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace modemsim {
namespace {

constexpr std::int64_t kNoClientPauseMs = 5;
// A gadget tty whose host side went away is opened again this long after,
// and again at this pace until it opens.
constexpr std::int64_t kHangUpReopenPauseMs = 200;

ModemConfig modemConfig(const SimOptions& options) {
  return ModemConfig{options.versionText, options.packetSizeText, options.imageOut,
                     options.versionAfterDownload, options.imei};
}

}  // namespace

SimLoop::SimLoop(const SimOptions& options, PtyDevice& device, CommandLog& log,
                 const StopSignal& stop)
    : options_(options),
      device_(device),
      log_(log),
      stop_(stop),
      state_(modemConfig(options)),
      faults_(options),
      format_(options),
      writer_(device.masterFd(), stop),
      readBuffer_(64 * 1024),
      deafUntil_(std::chrono::steady_clock::now() + std::chrono::milliseconds(options.deafForMs)) {}

int SimLoop::run() {
  while (!stop_.stopRequested()) {
    struct pollfd entries[2] = {{device_.masterFd(), POLLIN, 0}, {stop_.fd(), POLLIN, 0}};
    const int ready = poll(entries, 2, stop_.boundTimeout(-1));
    if (ready < 0 && errno != EINTR) {
      std::perror("modem-sim: poll");
      return 1;
    }
    if (ready > 0 && entries[0].revents != 0 && readCommands() == Next::Exit) break;
  }
  return 0;
}

SimLoop::Next SimLoop::readCommands() {
  const ssize_t count = read(device_.masterFd(), readBuffer_.data(), readBuffer_.size());
  // A read of 0 bytes or EIO on an existing tty: the host side hung up.
  if (device_.servesExistingTty() && (count == 0 || (count < 0 && errno == EIO))) {
    return reopenAfterHangUp();
  }
  if (count <= 0) {
    // With no client on the slave the master polls as hung up and reads
    // EIO until one opens it: wait a little before looking again, so that
    // the loop neither ends nor spins, and a new client is served soon.
    if (count < 0 && errno != EAGAIN && errno != EINTR) stop_.pause(kNoClientPauseMs);
    return Next::Continue;
  }
  commands_.clear();
  reader_.feed(readBuffer_.data(), static_cast<std::size_t>(count), &commands_);
  for (const ReceivedCommand& command : commands_) {
    if (handle(command) == Next::Exit) return Next::Exit;
  }
  return Next::Continue;
}

// The command cut short by the hang-up and whatever the tty kept from
// before it are dropped: a re-plugged modem starts on a clean line.
SimLoop::Next SimLoop::reopenAfterHangUp() {
  std::fprintf(stderr, "modem-sim: %s hung up\n", device_.slavePath().c_str());
  std::string error;
  do {
    if (!stop_.pause(kHangUpReopenPauseMs)) return Next::Exit;
  } while (!device_.reopenExisting(&error));
  reader_ = CommandReader();
  std::fprintf(stderr, "modem-sim: %s open again\n", device_.slavePath().c_str());
  return Next::Continue;
}

SimLoop::Next SimLoop::handle(const ReceivedCommand& command) {
  log_.record(command.text);
  // A modem still booting takes in what it is sent and says nothing.
  if (std::chrono::steady_clock::now() < deafUntil_) return Next::Continue;
  const CommandKind kind = command.overlong ? CommandKind::Unknown : classifyCommand(command.text);
  const Misbehaviour misbehaviour = faults_.next(kind);
  switch (misbehaviour) {
    case Misbehaviour::Vanish:
      std::fprintf(stderr, "modem-sim: vanishing at command '%.40s'\n", command.text.c_str());
      device_.vanish();
      stop_.pause(options_.vanishLingerMs);
      return Next::Exit;
    case Misbehaviour::Silent:
      return Next::Continue;
    case Misbehaviour::Flood:
      return flood(command.text);
    case Misbehaviour::Error:
      return sendReply(format_.reply(command.text, ModemAnswer{}, true));
    case Misbehaviour::NoFinal:
      return sendReply(format_.reply(command.text, state_.execute(kind, command.text), false));
    case Misbehaviour::None:
      break;
  }
  return sendReply(format_.reply(command.text, state_.execute(kind, command.text), true));
}

SimLoop::Next SimLoop::sendReply(const std::string& bytes) {
  if (options_.replyDelayMs > 0 && !stop_.pause(options_.replyDelayMs)) return Next::Exit;
  const WriteOutcome outcome = options_.byteDelayMs > 0
                                   ? writer_.writeSlowly(bytes, options_.byteDelayMs)
                                   : writer_.writeAll(bytes.data(), bytes.size(), -1);
  if (outcome == WriteOutcome::Failed) std::perror("modem-sim: write");
  return outcome == WriteOutcome::Stopped ? Next::Exit : Next::Continue;
}

// Sends text without end until the client has read nothing for the stall
// time (it stopped reading or closed the port), then drops what it left
// unread and goes back to answering commands. Commands sent meanwhile are
// lost, as with a modem stuck in output.
SimLoop::Next SimLoop::flood(const std::string& command) {
  const std::string start = format_.floodStart(command);
  WriteOutcome outcome = writer_.writeAll(start.data(), start.size(), options_.floodStallMs);
  while (outcome == WriteOutcome::Done) {
    discardInput();
    const std::string& block = floodBlock();
    outcome = writer_.writeAll(block.data(), block.size(), options_.floodStallMs);
  }
  if (outcome == WriteOutcome::Stopped) return Next::Exit;
  std::fprintf(stderr, "modem-sim: flood ended\n");
  device_.discardUnreadOutput();
  discardInput();
  reader_ = CommandReader();
  return Next::Continue;
}

void SimLoop::discardInput() {
  while (read(device_.masterFd(), readBuffer_.data(), readBuffer_.size()) > 0) {
  }
}

}  // namespace modemsim
