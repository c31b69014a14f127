// downloadImage against a modem whose every answer the input chooses: echo
// and OK, ERROR, silence, garbage, an OK without its line ends, a packet
// size text, NUL bytes, lines left over for the next command, read errors
// and silent reads before the answer, writes that start failing. The image is
// a small file written for each input.
//
// An independent model of the line (the port's queue of bytes and empty
// reads, consumed by the transaction rules: NUL bytes dropped, each empty
// read charged 200 of 10000, the reply ending at its first "\r\nOK\r\n" or
// "\r\nERROR\r\n", OK after the echo) says how each command was answered.
// From it follows exactly which commands the download must send and what it
// must return; and every packet the modem receives must match the file.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "atlink/at_commands.h"
#include "atlink/at_interface.h"
#include "download/spinner.h"
#include "fuzz_check.h"
#include "observed_port.h"
#include "reference_parse.h"
#include "support/counting_image_file.h"

namespace {

using tarnwick::AtInterface;
using tarnwick::ErrorTerminator;
using tarnwick::ImageFile;
using tarnwick::IoStatus;
using tarnwick::OkTerminator;
using tarnwick::SerialPort;
using tarnwick::fuzzing::ObservedPort;
namespace cmd = tarnwick::at_command;

// Most images are small; one input in sixteen takes a large one, across
// the 64 KiB mark, where buffered reading of the file changes blocks.
constexpr std::size_t kLargestSmallImage = 3000;
constexpr std::size_t kLargeImageBase = 62000;
constexpr std::size_t kLargeImageStep = 3;
constexpr int kLargestPacket = 512;

std::string imagePath;

// With TARNWICK_FUZZ_TRACE set (when replaying inputs), each exchange is
// summed up on standard error, command by command.
bool tracing = false;

void removeImage() {
  std::remove(imagePath.c_str());
}

using tarnwick::testing::CountingImageFile;

// One read event of the port's queue, as the model sees it.
struct Event {
  bool empty;  // a silent read or a read error
  std::string bytes;
};

// The model's view of one transaction.
struct Answer {
  std::string raw;
  bool ok = false;
  std::string body;
};

class ModelLine {
 public:
  void push(Event event) {
    if (!event.empty && event.bytes.empty()) return;
    events_.push_back(std::move(event));
  }

  // Collects one reply the way a transaction does, from the queue as it
  // stands after the command was written.
  Answer transact(const std::string& command) {
    Answer answer;
    // 50 empty reads per transaction: a budget of 10000, 200 for each.
    int budget = 10000;
    bool found = false;
    while (!found && budget > 0) {
      if (events_.empty() || events_.front().empty) {
        if (!events_.empty()) events_.pop_front();
        budget -= 200;
        continue;
      }
      const std::string& bytes = events_.front().bytes;
      const char byte = bytes[frontTaken_++];
      if (frontTaken_ == bytes.size()) {
        events_.pop_front();
        frontTaken_ = 0;
      }
      if (byte == '\0') continue;
      answer.raw.push_back(byte);
      found = endsWith(answer.raw, OkTerminator) || endsWith(answer.raw, ErrorTerminator);
    }
    if (answer.raw.empty()) return answer;
    const std::size_t echo = answer.raw.find(command);
    answer.body = answer.raw.substr(echo == std::string::npos ? 0 : echo + command.size());
    const std::size_t ok = answer.body.find(OkTerminator);
    answer.ok = ok != std::string::npos;
    if (answer.ok) answer.body.resize(ok);
    return answer;
  }

 private:
  static bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
  }

  std::deque<Event> events_;
  std::size_t frontTaken_ = 0;  // bytes of the first event already taken
};

const char* const kSizeTexts[] = {
    "512",
    "1",
    "2",
    "3",
    "7",
    "100",
    "511",
    "513",
    "1024",
    "0",
    "-1",
    "-512",
    " 64",
    "+16",
    "\t\v 8 bytes",
    "2147483647",
    "2147483648",
    "-2147483648",
    "99999999999999999999",
    "abc",
    "",
    "0x20",
    "32\r\nOK",
};

class Exchange {
 public:
  explicit Exchange(FuzzedDataProvider& input)
      : input_(input), port_(new ObservedPort), link_(std::unique_ptr<SerialPort>(port_), [this] {
          return std::make_unique<CountingImageFile>(opens_, closes_);
        }) {}

  void run() {
    const int fileKind = input_.ConsumeIntegralInRange<int>(0, 15);
    const bool fileExists = fileKind != 0;
    const std::string image = makeImage(fileKind == 15);
    writeImage(fileExists, image);
    if (input_.ConsumeBool()) {
      port_->acceptAtMostPerWrite(input_.ConsumeIntegralInRange<std::size_t>(1, 700));
    }
    port_->setResponder([this](const std::string& line) { return answer(line); });
    link_.openPort(7);

    const bool done = link_.downloadImage(imagePath);
    if (tracing) {
      for (std::size_t i = 0; i < commands_.size(); ++i) {
        std::fprintf(stderr, "  %.30s%s -> %s\n", commands_[i].c_str(),
                     commands_[i].size() > 30 ? "..." : "",
                     i < answers_.size() && answers_[i].ok ? "OK" : "no OK");
      }
      std::fprintf(stderr, "image of %zu bytes%s: %zu commands, %zu packets, result %d\n",
                   image.size(), fileExists ? "" : " (no file)", commands_.size(), packets_.size(),
                   done);
    }

    FUZZ_CHECK(opens_ == closes_, "image opened %d times, closed %d times", opens_, closes_);
    checkPackets(image);
    const std::vector<std::string> expected = expectedCommands(fileExists, image);
    FUZZ_CHECK(commands_.size() == expected.size(),
               "%zu commands sent where the answers call for %zu", commands_.size(),
               expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
      FUZZ_CHECK(commands_[i] == expected[i],
                 "command %zu is \"%.40s\" (%zu characters), expected \"%.40s\" (%zu)", i,
                 commands_[i].c_str(), commands_[i].size(), expected[i].c_str(),
                 expected[i].size());
    }
    FUZZ_CHECK(done == expectedResult_, "downloadImage returned %d, the answers call for %d", done,
               expectedResult_);
    if (done) {
      FUZZ_CHECK(received_ == image, "finished with %zu bytes received of %zu", received_.size(),
                 image.size());
      for (const Answer& a : answers_) FUZZ_CHECK(a.ok, "finished although a command failed");
    }
  }

 private:
  std::string makeImage(bool large) {
    std::size_t size = input_.ConsumeIntegralInRange<std::size_t>(0, kLargestSmallImage);
    if (large) size = kLargeImageBase + size * kLargeImageStep;
    // Bytes that differ from packet to packet, so that a packet sent twice,
    // skipped or out of order shows.
    std::uint32_t state = input_.ConsumeIntegral<std::uint32_t>() | 1u;
    std::string image(size, '\0');
    for (char& c : image) {
      state = state * 1664525u + 1013904223u;
      c = static_cast<char>(state >> 24);
    }
    return image;
  }

  static void writeImage(bool exists, const std::string& image) {
    std::remove(imagePath.c_str());
    if (!exists) return;
    FILE* file = std::fopen(imagePath.c_str(), "wb");
    FUZZ_CHECK(file != nullptr, "cannot write %s", imagePath.c_str());
    FUZZ_CHECK(std::fwrite(image.data(), 1, image.size(), file) == image.size(), "short write");
    std::fclose(file);
  }

  // The modem's side of one command line: records it, decides what comes
  // back, and lets the model see the same events the port queues.
  std::string answer(const std::string& line) {
    commands_.push_back(line);
    const int delays = pickDelays();
    for (int i = 0; i < delays; ++i) {
      const bool error = input_.ConsumeBool();
      if (error) {
        port_->queueReadError(5);
      } else {
        port_->queueSilence();
      }
      model_.push(Event{true, {}});
    }
    const std::string reply = makeReply(line);
    // The reply goes onto the port after the delays: the port's responder
    // queues it when this returns.
    model_.push(Event{false, reply});
    Answer answer = model_.transact(line);
    // Only the packet-size answer's body is looked at later.
    if (!answers_.empty()) {
      answer.raw.clear();
      answer.body.clear();
    }
    answers_.push_back(std::move(answer));
    if (line.rfind(cmd::kImagePacketStart, 0) == 0) takePacket(line);
    return reply;
  }

  int pickDelays() {
    // An input that has run out reads as zeros: no delay, a plain OK.
    switch (input_.ConsumeIntegralInRange<int>(0, 7)) {
      case 1:
        return input_.ConsumeIntegralInRange<int>(1, 5);
      case 2:
        return input_.ConsumeIntegralInRange<int>(45, 55);
      default:
        return 0;
    }
  }

  std::string makeReply(const std::string& line) {
    const std::string echo = line + "\r";
    const std::string info =
        line == cmd::kQueryPacketSize ? "\r\n" + pickSizeText() + "\r\n" : std::string();
    switch (input_.ConsumeIntegralInRange<int>(0, 15)) {
      case 1:
        return echo + ErrorTerminator;
      case 2:
        return std::string();
      case 3:
        return input_.ConsumeRandomLengthString(40);
      case 4:
        return info + OkTerminator;
      case 5:
        return echo + "\r\n" + input_.ConsumeRandomLengthString(40) + "\r\n" + OkTerminator;
      case 6: {
        static const char* const kMangled[] = {"\r\nOK\r", "OK\r\n", "\nOK\r\n", "\r\nok\r\n",
                                               "\r\nOK\n\r"};
        return echo + info + input_.PickValueInArray(kMangled);
      }
      case 7: {
        std::string reply = echo + info + OkTerminator;
        const std::size_t at = input_.ConsumeIntegralInRange<std::size_t>(0, reply.size());
        reply.insert(at, std::string(input_.ConsumeIntegralInRange<std::size_t>(1, 4), '\0'));
        return reply;
      }
      case 8:
        // An answer followed by more: what comes after the terminator is
        // left on the line for the next command.
        return echo + info + OkTerminator + input_.ConsumeRandomLengthString(20);
      case 9:
        return echo + info + OkTerminator + "\r\nRING\r\n";
      case 10: {
        // The echo comes corrupted.
        std::string wrongEcho = echo;
        wrongEcho[input_.ConsumeIntegralInRange<std::size_t>(0, wrongEcho.size() - 1)] ^= 0x20;
        return wrongEcho + info + OkTerminator;
      }
      case 11:
        // Answers, then takes no more: the next line's write fails.
        port_->failWrites(input_.ConsumeBool() ? IoStatus::Failed : IoStatus::TimedOut, 5);
        writeFailureAfter_ = commands_.size() - 1;
        return echo + info + OkTerminator;
      case 12:
        return echo + "\r\nERROR\r\n" + info + OkTerminator;
      default:
        return echo + info + OkTerminator;
    }
  }

  std::string pickSizeText() {
    switch (input_.ConsumeIntegralInRange<int>(0, 3)) {
      case 1:
        return std::to_string(input_.ConsumeIntegralInRange<int>(1, 600));
      case 2:
        return std::to_string(input_.ConsumeIntegral<std::int64_t>());
      case 3:
        return input_.ConsumeRandomLengthString(16);
      default:
        return input_.PickValueInArray(kSizeTexts);
    }
  }

  // A packet received by the modem must be upper-case hex of whole bytes
  // and must be the file's next bytes.
  void takePacket(const std::string& line) {
    const std::size_t start = sizeof cmd::kImagePacketStart - 1;
    FUZZ_CHECK(line.size() >= start + 1 && line.back() == '"', "packet line not closed");
    const std::string hex = line.substr(start, line.size() - start - 1);
    FUZZ_CHECK(hex.size() % 2 == 0, "packet of %zu hex digits", hex.size());
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
      bytes.push_back(static_cast<char>(16 * nibble(hex[i]) + nibble(hex[i + 1])));
    }
    packets_.push_back(bytes);
    received_ += bytes;
  }

  static int nibble(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    FUZZ_CHECK(c >= 'A' && c <= 'F', "packet holds '%c', not an upper-case hex digit", c);
    return c - 'A' + 10;
  }

  void checkPackets(const std::string& image) {
    FUZZ_CHECK(
        received_.size() <= image.size() && image.compare(0, received_.size(), received_) == 0,
        "the modem received %zu bytes that are not the file's first bytes", received_.size());
    for (const std::string& packet : packets_) {
      FUZZ_CHECK(!packet.empty() && packet.size() <= kLargestPacket, "a packet of %zu bytes",
                 packet.size());
    }
  }

  // The commands the download must send, given how the model says each one
  // was answered, and the result it must return.
  std::vector<std::string> expectedCommands(bool fileExists, const std::string& image) {
    std::vector<std::string> expected;
    expectedResult_ = false;
    // An empty image is refused before the modem hears of it.
    if (!fileExists || image.empty()) return expected;
    std::size_t next = 0;
    // True when command `next` is one the modem saw and answered with OK.
    auto sentAndOk = [&](const std::string& command) {
      expected.push_back(command);
      const std::size_t index = next++;
      return index < answers_.size() && answers_[index].ok;
    };
    if (!sentAndOk(cmd::kQueryPacketSize)) return trimmed(expected);
    int announced = 0;
    if (!tarnwick::fuzzing::referenceLeadingInt(answers_[0].body, announced) || announced <= 0) {
      return trimmed(expected);
    }
    const std::size_t packetSize =
        static_cast<std::size_t>(announced < kLargestPacket ? announced : kLargestPacket);
    if (!sentAndOk(cmd::kBeginDownload)) return trimmed(expected);
    for (std::size_t at = 0; at < image.size(); at += packetSize) {
      std::string packet = cmd::kImagePacketStart;
      for (std::size_t i = at; i < at + packetSize && i < image.size(); ++i) {
        static const char kHex[] = "0123456789ABCDEF";
        const unsigned char byte = static_cast<unsigned char>(image[i]);
        packet.push_back(kHex[byte >> 4]);
        packet.push_back(kHex[byte & 0x0F]);
      }
      packet += cmd::kImagePacketEnd;
      if (!sentAndOk(packet)) return trimmed(expected);
    }
    expectedResult_ = sentAndOk(cmd::kEndDownload);
    return trimmed(expected);
  }

  // A command whose write failed never reached the modem: the expected list
  // ends with the commands it saw.
  std::vector<std::string> trimmed(std::vector<std::string> expected) const {
    if (expected.size() > commands_.size() && expected.size() == commands_.size() + 1 &&
        writesFailedAfter(commands_.size())) {
      expected.pop_back();
    }
    return expected;
  }

  bool writesFailedAfter(std::size_t count) const {
    return writeFailureAfter_ != npos && writeFailureAfter_ + 1 == count;
  }

  static constexpr std::size_t npos = static_cast<std::size_t>(-1);

  FuzzedDataProvider& input_;
  ObservedPort* port_;
  int opens_ = 0;
  int closes_ = 0;
  AtInterface link_;
  ModelLine model_;
  std::vector<std::string> commands_;
  std::vector<Answer> answers_;
  std::vector<std::string> packets_;
  std::string received_;
  std::size_t writeFailureAfter_ = npos;
  bool expectedResult_ = false;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tarnwick::fuzzing::discardStandardOutput();
  tracing = std::getenv("TARNWICK_FUZZ_TRACE") != nullptr;
  const char* dir = std::getenv("TMPDIR");
  imagePath = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") +
              "/tarnwick-fuzz-download-" + std::to_string(getpid()) + ".bin";
  std::atexit(removeImage);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  tarnwick::spinnerIndex = 0;
  Exchange exchange(input);
  exchange.run();
  // libFuzzer may end the process without running exit handlers; the file
  // is not left behind for longer than one input.
  removeImage();
  return 0;
}
