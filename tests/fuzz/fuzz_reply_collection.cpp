// The AT link's reply collection on arbitrary port traffic. The input is read
// as a program: steps that queue traffic on a scripted port (chunks of bytes,
// floods of one byte, silent reads, read errors, write faults) interleaved
// with link operations (initialise, sendCommand, collectResponse, flushInput,
// closePort and the four download commands). After every operation the
// guarantees of a transaction are checked against what the port handed out.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "atlink/at_commands.h"
#include "atlink/at_interface.h"
#include "fuzz_check.h"
#include "observed_port.h"

namespace {

using tarnwick::AtInterface;
using tarnwick::ErrorTerminator;
using tarnwick::IoStatus;
using tarnwick::OkTerminator;
using tarnwick::SerialPort;
using tarnwick::fuzzing::ObservedPort;

// Floods let a short input put replies of any length on the line, up to the
// reply cap and beyond it.
constexpr int kUntouched = -12345;

// The link's bounds, written out here rather than taken from its header, so
// that a changed bound shows: a transaction is allowed 50 empty reads (a
// budget of 10000, 200 charged for each), a flush ends at its first empty
// read, a kept reply is capped at 64 KiB, and commands of up to 2046
// characters are sent (one 2048-byte buffer with the carriage return and a
// terminating NUL).
constexpr std::size_t kEmptyReadsPerTransaction = 50;
constexpr std::size_t kEmptyReadsPerFlush = 1;
constexpr std::size_t kReplyCap = 64 * 1024;
constexpr std::size_t kLongestCommand = 2046;

constexpr std::size_t kLongestFlood = 200000;
constexpr std::size_t kMostFloodBytes = 400000;

// What one collection may take from the port: what it keeps is capped at
// kReplyCap. Twice the cap leaves room for any reasonable accounting of
// dropped bytes; a collection that takes more would read a line that never
// falls silent for ever. On top of all collections of an operation, one
// fetch may bring up to 4096 bytes beyond what they used.
constexpr std::size_t kMostBytesPerCollection = 2 * kReplyCap;
constexpr std::size_t kInputFetch = 4096;

// Empty reads a collectResponse with `budget` may make: each is charged 200.
std::size_t emptyReadAllowance(int budget) {
  return budget <= 0 ? 0 : static_cast<std::size_t>((budget + 199) / 200);
}

const std::string kFragments[] = {
    OkTerminator,
    ErrorTerminator,
    "\r\n",
    "\r\nOK\r",
    "OK\r\n",
    "\r\nERROR",
    std::string(1, '\0'),
    std::string("\r\n\0OK\r\n", 7),
    "AT\r",
    "AT%DNLPK?\r\r\n512\r\n",
    "\r\n+CME ERROR: 10\r\n",
    "\r\nRING\r\n",
};

const std::string kCommands[] = {
    "AT",
    "AT+CGMR",
    "AT%DNLPK?",
    "AT%DNL=1",
    "AT%DNL=0",
    "AT%DNLIMG=\"00FF10\"",
    "",
    "OK",
    OkTerminator,
    std::string(kLongestCommand, 'A'),
    std::string(kLongestCommand + 1, 'A'),
};

std::size_t firstTerminatorEnd(const std::string& reply, const std::string& a,
                               const std::string& b) {
  std::size_t end = std::string::npos;
  for (const std::string* t : {&a, &b}) {
    if (t->empty()) continue;
    std::size_t at = reply.find(*t);
    if (at != std::string::npos) end = std::min(end, at + t->size());
  }
  return end;
}

std::string withoutNul(const std::string& bytes) {
  std::string kept;
  for (char c : bytes) {
    if (c != '\0') kept.push_back(c);
  }
  return kept;
}

// With TARNWICK_FUZZ_TRACE set (when replaying one input), every step is
// listed on standard error.
bool tracing = false;

void trace(const char* format, ...) {
  if (!tracing) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fputc('\n', stderr);
}

class Session {
 public:
  explicit Session(FuzzedDataProvider& input)
      : input_(input), port_(new ObservedPort), link_(std::unique_ptr<SerialPort>(port_)) {}

  void run() {
    for (int step = 0; step < 64 && input_.remaining_bytes() > 0; ++step) {
      switch (input_.ConsumeIntegralInRange<int>(0, 15)) {
        case 0:
          queue("chunk", input_.ConsumeRandomLengthString(600));
          break;
        case 1:
          queue("fragment", input_.PickValueInArray(kFragments));
          break;
        case 2:
          queue("echo", link_.lastCommand() + '\r');
          break;
        case 3:
          queueFlood();
          break;
        case 4: {
          const int reads = input_.ConsumeIntegralInRange<int>(1, 60);
          trace("queue %d silent reads", reads);
          port_->queueSilence(reads);
          break;
        }
        case 5: {
          const int code = input_.ConsumeIntegralInRange<int>(1, 200);
          const int reads = input_.ConsumeIntegralInRange<int>(1, 60);
          trace("queue %d read errors %d", reads, code);
          port_->queueReadError(code, reads);
          break;
        }
        case 6:
          chooseWriteBehaviour();
          break;
        case 7:
          initialise(input_.ConsumeIntegralInRange<int>(-2, 300));
          break;
        case 8:
        case 9:
          sendCommand(pickCommand());
          break;
        case 10:
          collectResponse();
          break;
        case 11:
          flushInput();
          break;
        case 12:
          trace("closePort");
          link_.closePort();
          FUZZ_CHECK(link_.comNumber() == 0, "closePort left COM%d", link_.comNumber());
          break;
        case 13:
          downloadCommand();
          break;
        default:
          // A link that the session opens at once gets to the transactions
          // sooner.
          if (link_.comNumber() == 0) initialise(1 + input_.ConsumeIntegralInRange<int>(0, 9));
          break;
      }
      FUZZ_CHECK(port_->isOpen == (link_.comNumber() != 0),
                 "the port is %s while the link says COM%d", port_->isOpen ? "open" : "closed",
                 link_.comNumber());
    }
    link_.shutdown();
    FUZZ_CHECK(!port_->isOpen, "the port is still open after shutdown");
  }

 private:
  void queue(const char* kind, const std::string& bytes) {
    trace("queue %s of %zu bytes", kind, bytes.size());
    port_->queueBytes(bytes);
  }

  void queueFlood() {
    static const char kFloodBytes[] = {'\0', 'A', '\r', '\n', 'O', 'K'};
    char byte = input_.ConsumeBool() ? input_.PickValueInArray(kFloodBytes)
                                     : input_.ConsumeIntegral<char>();
    std::size_t count = input_.ConsumeIntegralInRange<std::size_t>(1, kLongestFlood);
    count = std::min(count, kMostFloodBytes - floodBytes_);
    floodBytes_ += count;
    trace("queue flood of %zu bytes 0x%02x", count, static_cast<unsigned char>(byte));
    port_->queueBytes(std::string(count, byte));
  }

  void chooseWriteBehaviour() {
    writesWork_ = false;
    const int behaviour = input_.ConsumeIntegralInRange<int>(0, 3);
    trace("writes: %s", behaviour < 2 ? "work" : "fail");
    switch (behaviour) {
      case 0:
        port_->failWrites(IoStatus::Done);
        port_->acceptAtMostPerWrite(0);
        writesWork_ = true;
        break;
      case 1:
        port_->failWrites(IoStatus::Done);
        port_->acceptAtMostPerWrite(input_.ConsumeIntegralInRange<std::size_t>(1, 8));
        writesWork_ = true;
        break;
      case 2:
        port_->failWrites(IoStatus::TimedOut);
        break;
      default:
        port_->failWrites(IoStatus::Failed, input_.ConsumeIntegralInRange<int>(1, 200));
        break;
    }
  }

  std::string pickCommand() {
    if (input_.ConsumeBool()) return input_.PickValueInArray(kCommands);
    return input_.ConsumeRandomLengthString(2100);
  }

  std::string pickTerminator() {
    switch (input_.ConsumeIntegralInRange<int>(0, 3)) {
      case 0:
        return OkTerminator;
      case 1:
        return ErrorTerminator;
      case 2:
        return std::string();
      default:
        return input_.ConsumeRandomLengthString(12);
    }
  }

  // Counters taken before an operation, to see what it did on the port.
  struct Before {
    int com;
    int reads;
    std::size_t delivered;
    std::size_t written;
  };
  Before before() const {
    return Before{link_.comNumber(), port_->readRequests, port_->delivered.size(),
                  port_->written.size()};
  }

  // Reads and bytes of one operation made of `collections` collections,
  // which may make `emptyReads` empty reads in all.
  void checkPortUse(const Before& b, std::size_t collections, std::size_t emptyReads,
                    const char* what) {
    const std::size_t reads = static_cast<std::size_t>(port_->readRequests - b.reads);
    const std::size_t bytes = port_->delivered.size() - b.delivered;
    FUZZ_CHECK(reads <= bytes + emptyReads,
               "%s made %zu read requests for %zu bytes, allowed %zu empty ones", what, reads,
               bytes, emptyReads);
    FUZZ_CHECK(bytes <= collections * kMostBytesPerCollection + kInputFetch,
               "%s took %zu bytes from the port (reply cap %zu): a line that never falls "
               "silent would be read for ever",
               what, bytes, kReplyCap);
  }

  // A reply as collected: no NUL, capped, a piece of what the port handed
  // out (after what earlier collections took), ending at its first
  // terminator when one was seen.
  void checkReply(const std::string& reply, const std::string& a, const std::string& b, bool found,
                  const char* what) {
    FUZZ_CHECK(reply.find('\0') == std::string::npos, "%s kept a NUL byte", what);
    FUZZ_CHECK(reply.size() <= kReplyCap, "%s kept %zu bytes", what, reply.size());
    stripped_ += withoutNul(port_->delivered.substr(strippedFrom_));
    strippedFrom_ = port_->delivered.size();
    std::size_t at = stripped_.find(reply, cursor_);
    FUZZ_CHECK(at != std::string::npos,
               "%s holds %zu bytes that are not the port's next bytes in order", what,
               reply.size());
    cursor_ = at + reply.size();
    const std::size_t end = firstTerminatorEnd(reply, a, b);
    if (a.empty() && b.empty()) {
      FUZZ_CHECK(!found, "%s found a terminator with none given", what);
      return;
    }
    FUZZ_CHECK(found == (end != std::string::npos), "%s returned %d with a terminator %s", what,
               found, end == std::string::npos ? "absent" : "present");
    if (found) {
      FUZZ_CHECK(end == reply.size(), "%s read %zu bytes past its first terminator", what,
                 reply.size() - end);
    }
  }

  // The outputs of one sendCommand: the reply checks, the body after the
  // echo, OK after the echo on true, the link closed on false.
  void checkTransaction(const std::string& command, bool answered, const std::string& raw,
                        const std::string& body, const Before& b, const char* what) {
    FUZZ_CHECK(link_.lastCommand() == command, "%s: lastCommand differs", what);
    const bool fits = command.size() <= kLongestCommand;
    if (!fits) {
      FUZZ_CHECK(port_->written.size() == b.written, "%s: an over-long command was written", what);
    } else if (writesWork_) {
      FUZZ_CHECK(port_->written.compare(b.written, std::string::npos, command + '\r') == 0,
                 "%s: the line written is not the command and a carriage return", what);
    }
    if (b.com == 0 || port_->written.size() == b.written) {
      FUZZ_CHECK(raw.empty(), "%s kept a reply without a line sent on an open port", what);
    }
    // Whether a terminator came is only visible in the reply itself here;
    // checkReply then sees that collection stopped right after the first.
    checkReply(raw, OkTerminator, ErrorTerminator,
               firstTerminatorEnd(raw, OkTerminator, ErrorTerminator) != std::string::npos, what);
    const std::size_t echo = raw.find(command);
    const std::size_t bodyStart = echo == std::string::npos ? 0 : echo + command.size();
    if (answered) {
      FUZZ_CHECK(link_.comNumber() == b.com && b.com != 0, "%s: true with the link closed", what);
      FUZZ_CHECK(raw.compare(bodyStart, body.size(), body) == 0,
                 "%s: the body is not the text after the echo", what);
      FUZZ_CHECK(raw.compare(bodyStart + body.size(), OkTerminator.size(), OkTerminator) == 0,
                 "%s: true without OK after the echo", what);
      FUZZ_CHECK(body.find(OkTerminator) == std::string::npos, "%s: body holds an OK", what);
    } else {
      FUZZ_CHECK(link_.comNumber() == 0, "%s: false left COM%d open", what, link_.comNumber());
      const std::string afterEcho = raw.empty() ? std::string() : raw.substr(bodyStart);
      FUZZ_CHECK(body == afterEcho, "%s: on false the body is not the text after the echo", what);
      FUZZ_CHECK(afterEcho.find(OkTerminator) == std::string::npos,
                 "%s: false although OK came after the echo", what);
    }
  }

  void initialise(int n) {
    trace("initialise(%d)", n);
    const Before b = before();
    const bool ok = link_.initialise(n);
    trace("  -> %d, reply of %zu bytes", ok, link_.rawReply().size());
    // The flush and the handshake.
    checkPortUse(b, 2, kEmptyReadsPerFlush + kEmptyReadsPerTransaction, "initialise");
    if (!ok && link_.lastCommand().empty()) {
      // The port could not be opened: no handshake.
      FUZZ_CHECK(link_.rawReply() == "Failed to connect to port " + std::to_string(n),
                 "initialise(%d): open failure without its text", n);
      FUZZ_CHECK(port_->readRequests == b.reads, "initialise(%d) read an unopened port", n);
      FUZZ_CHECK(link_.comNumber() == 0, "initialise(%d) failed open left the link open", n);
      return;
    }
    FUZZ_CHECK(n > 0, "initialise(%d) got past opening a port that does not exist", n);
    // The flush took some bytes unseen; the handshake's reply comes after
    // them, on the port just opened.
    Before handshake = b;
    handshake.com = n;
    checkTransaction("AT", ok, link_.rawReply(), link_.replyBody(), handshake, "initialise");
    if (ok) FUZZ_CHECK(link_.comNumber() == n, "initialise(%d) opened COM%d", n, link_.comNumber());
  }

  void sendCommand(const std::string& command) {
    trace("sendCommand of %zu bytes", command.size());
    const Before b = before();
    std::string raw = "stale";
    std::string body = "stale";
    const bool answered = link_.sendCommand(command, raw, body);
    trace("  -> %d, reply of %zu bytes", answered, raw.size());
    checkPortUse(b, 1, kEmptyReadsPerTransaction, "sendCommand");
    if (b.com == 0 || command.size() > kLongestCommand || !writesWork_) {
      FUZZ_CHECK(port_->readRequests == b.reads,
                 "sendCommand read without a line sent on an "
                 "open port");
    }
    checkTransaction(command, answered, raw, body, b, "sendCommand");
  }

  void collectResponse() {
    const std::string a = pickTerminator();
    const std::string t = pickTerminator();
    const int budget = input_.ConsumeIntegralInRange<int>(-300, 12000);
    trace("collectResponse budget %d", budget);
    const Before b = before();
    std::string reply = "stale";
    const bool found = link_.collectResponse(reply, a, t, budget);
    trace("  -> %d, reply of %zu bytes", found, reply.size());
    if (b.com == 0 || budget <= 0) {
      FUZZ_CHECK(!found && reply.empty() && port_->readRequests == b.reads,
                 "collectResponse read with COM%d and budget %d", b.com, budget);
    }
    checkPortUse(b, 1, emptyReadAllowance(budget), "collectResponse");
    checkReply(reply, a, t, found, "collectResponse");
    FUZZ_CHECK(link_.comNumber() == b.com, "collectResponse changed the link");
  }

  void flushInput() {
    trace("flushInput");
    const Before b = before();
    link_.flushInput();
    checkPortUse(b, 1, kEmptyReadsPerFlush, "flushInput");
    if (b.com == 0) FUZZ_CHECK(port_->readRequests == b.reads, "flushInput read a closed port");
    FUZZ_CHECK(link_.comNumber() == b.com, "flushInput changed the link");
  }

  // One of the download commands, each a transaction on the link's own
  // reply buffers.
  void downloadCommand() {
    namespace cmd = tarnwick::at_command;
    trace("download command");
    const Before b = before();
    std::string command;
    bool answered = false;
    bool isQuery = false;
    int packetSize = kUntouched;
    switch (input_.ConsumeIntegralInRange<int>(0, 3)) {
      case 0:
        command = cmd::kQueryPacketSize;
        answered = link_.queryPacketSize(packetSize);
        isQuery = true;
        break;
      case 1:
        command = cmd::kBeginDownload;
        answered = link_.beginDownload();
        break;
      case 2: {
        const std::string text = input_.ConsumeRandomLengthString(1100);
        command = std::string(cmd::kImagePacketStart) + text + cmd::kImagePacketEnd;
        answered = link_.sendImagePacket(text);
        break;
      }
      default:
        command = cmd::kEndDownload;
        answered = link_.endDownload();
        break;
    }
    trace("  %s -> %d", command.substr(0, 20).c_str(), answered);
    checkPortUse(b, 1, kEmptyReadsPerTransaction, "download command");
    // The packet-size query is false also when its answer holds no number;
    // the transaction itself then succeeded and the link stays open.
    const bool transactionAnswered = answered || (isQuery && b.com != 0 && link_.comNumber() != 0);
    checkTransaction(command, transactionAnswered, link_.rawReply(), link_.replyBody(), b,
                     "download command");
    if (isQuery && !answered) {
      FUZZ_CHECK(packetSize == kUntouched, "a refused packet size was stored: %d", packetSize);
    }
  }

  FuzzedDataProvider& input_;
  ObservedPort* port_;
  AtInterface link_;
  bool writesWork_ = true;
  std::size_t floodBytes_ = 0;
  std::string stripped_;
  std::size_t strippedFrom_ = 0;
  std::size_t cursor_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tarnwick::fuzzing::discardStandardOutput();
  tracing = std::getenv("TARNWICK_FUZZ_TRACE") != nullptr;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  Session session(input);
  session.run();
  return 0;
}
