#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <utility>

#include "atlink/at_interface.h"
#include "download/image_reader.h"
#include "download/packet_size_parse.h"
#include "download/spinner.h"
#include "support/counting_image_file.h"
#include "support/expected_text.h"
#include "support/fake_modem.h"
#include "support/fake_serial_port.h"
#include "support/temp_dir.h"
#include "text/byte_to_hex.h"

namespace tarnwick {
namespace {

using testing::CountingImageFile;
using testing::FakeModem;
using testing::FakeSerialPort;
using testing::startMessage;
using testing::TempDir;

class DownloadTest : public ::testing::Test {
 protected:
  DownloadTest()
      : port_(new FakeSerialPort),
        link_(std::unique_ptr<SerialPort>(port_),
              [this] { return std::make_unique<CountingImageFile>(opens_, closes_); }),
        modem_(*port_) {
    spinnerIndex = 0;
    link_.openPort(5);
  }

  struct Outcome {
    bool result;
    std::string output;
  };
  Outcome download(const std::string& path) {
    ::testing::internal::CaptureStdout();
    bool result = link_.downloadImage(path);
    return Outcome{result, ::testing::internal::GetCapturedStdout()};
  }
  std::string image(std::size_t size) {
    return dir_.writeFile("image.bin", testing::patternBytes(size));
  }
  std::vector<std::string> packetCommands() const {
    std::vector<std::string> packets;
    for (const std::string& c : modem_.commands) {
      if (c.rfind("AT%DNLIMG=", 0) == 0) packets.push_back(c);
    }
    return packets;
  }

  TempDir dir_;
  int opens_ = 0;
  int closes_ = 0;
  FakeSerialPort* port_;
  AtInterface link_;
  FakeModem modem_;
};

TEST_F(DownloadTest, EmptyImageIsRefusedBeforeTheModemHearsOfIt) {
  std::string path = image(0);
  ::testing::internal::CaptureStderr();
  Outcome o = download(path);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "image " + path + " is empty - nothing to download\n");
  EXPECT_FALSE(o.result);
  EXPECT_EQ(o.output, "");
  EXPECT_TRUE(modem_.commands.empty());
  EXPECT_EQ(link_.lastFailure().kind, FailureKind::ImageEmpty);
  EXPECT_EQ(closes_, 1);
}

TEST_F(DownloadTest, ImageIsCutIntoPacketsInFileOrder) {
  for (std::size_t size : {1u, 511u, 512u, 513u, 1025u, 70000u}) {
    modem_.commands.clear();
    std::string path = image(size);
    ASSERT_TRUE(link_.openPort(5));
    Outcome o = download(path);
    ASSERT_TRUE(o.result) << size;
    EXPECT_EQ(modem_.image, testing::patternBytes(size)) << size;
    std::vector<std::string> packets = packetCommands();
    EXPECT_EQ(packets.size(), (size + 511) / 512) << size;
    for (std::size_t i = 0; i + 1 < packets.size(); ++i) EXPECT_EQ(packets[i].size(), 12u + 1024u);
    EXPECT_EQ(modem_.commands.back(), "AT%DNL=0");
  }
  // 1025 bytes: the last packet carries one byte.
  std::string path = image(1025);
  download(path);
  EXPECT_EQ(packetCommands().back().size(), 14u);
}

TEST_F(DownloadTest, ReportedPacketSizeIsCappedAt512AndSmallerOnesAreUsed) {
  modem_.packetSizeText = "2048";
  ASSERT_TRUE(download(image(1024)).result);
  EXPECT_EQ(packetCommands().size(), 2u);

  modem_.commands.clear();
  modem_.packetSizeText = "100";
  ASSERT_TRUE(download(image(1000)).result);
  std::vector<std::string> packets = packetCommands();
  ASSERT_EQ(packets.size(), 10u);
  EXPECT_EQ(packets[0].size(), 12u + 200u);
  EXPECT_EQ(modem_.image, testing::patternBytes(1000));
}

TEST_F(DownloadTest, UnusablePacketSizeFailsAfterTheStartMessage) {
  for (const char* reply : {"0", "-5", "abc", "", "size 512", "99999999999"}) {
    modem_.commands.clear();
    modem_.packetSizeText = reply;
    ASSERT_TRUE(link_.openPort(5));
    std::string path = image(600);
    Outcome o = download(path);
    EXPECT_FALSE(o.result) << reply;
    EXPECT_EQ(o.output, startMessage(path)) << reply;
    EXPECT_EQ(modem_.commands, std::vector<std::string>{"AT%DNLPK?"}) << reply;
  }
  EXPECT_EQ(closes_, opens_);
}

TEST_F(DownloadTest, SpinnerMovesEveryTenPacketsAndKeepsItsPlace) {
  Outcome o = download(image(25 * 512));
  ASSERT_TRUE(o.result);
  std::string expected = startMessage(dir_.path() + "/image.bin") + "/\b-\b\\\b";
  EXPECT_EQ(o.output, expected);
  EXPECT_EQ(spinnerIndex, 3);
}

TEST_F(DownloadTest, ErrorAtTheEleventhPacketStopsEverythingAfterIt) {
  modem_.errorAtPacket = 11;
  std::string path = image(20 * 512);
  Outcome o = download(path);
  EXPECT_FALSE(o.result);
  EXPECT_EQ(o.output, startMessage(path) + "/\b-\b");
  EXPECT_EQ(packetCommands().size(), 11u);
  EXPECT_EQ(modem_.commands.back().rfind("AT%DNLIMG", 0), 0u);
  EXPECT_EQ(link_.comNumber(), 0);
  EXPECT_EQ(closes_, 1);
}

TEST_F(DownloadTest, ErrorAtTheEndFailsAlthoughEveryPacketWasTaken) {
  modem_.errorAtEnd = true;
  EXPECT_FALSE(download(image(2000)).result);
  EXPECT_EQ(modem_.image, testing::patternBytes(2000));
}

TEST_F(DownloadTest, MissingImageIsReportedAndNothingIsSent) {
  Outcome o = download(dir_.path() + "/absent.bin");
  EXPECT_FALSE(o.result);
  EXPECT_EQ(o.output.rfind("ERROR: Tarnwick\n failed with error code 2 as follows:\n", 0), 0u);
  EXPECT_EQ(o.output.find("downloading"), std::string::npos);
  EXPECT_TRUE(modem_.commands.empty());
  EXPECT_EQ(link_.comNumber(), 5);
}

TEST_F(DownloadTest, DirectoryIsRefusedLikeAnUnopenableFile) {
  Outcome o = download(dir_.path());
  EXPECT_FALSE(o.result);
  EXPECT_EQ(o.output.rfind("ERROR: Tarnwick\n failed with error code", 0), 0u);
  EXPECT_TRUE(modem_.commands.empty());
}

TEST_F(DownloadTest, ImageOfFourGibibytesIsRefusedBeforeTheModemHearsOfIt) {
  std::string path = dir_.path() + "/huge.bin";
  ASSERT_EQ(truncate(dir_.writeFile("huge.bin", "").c_str(), 0x100000000ll), 0);
  Outcome o = download(path);
  EXPECT_FALSE(o.result);
  EXPECT_EQ(o.output, "image " + path + " is 4 GiB or larger - too large to download\n");
  EXPECT_TRUE(modem_.commands.empty());
  EXPECT_EQ(closes_, 1);
}

TEST_F(DownloadTest, NonRegularFileIsRefusedAtOnceWithoutBlocking) {
  const std::string fifo = dir_.path() + "/fifo.bin";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  Outcome o = download(fifo);
  EXPECT_FALSE(o.result);
  EXPECT_EQ(o.output,
            "ERROR: Tarnwick\n failed with error code 22 as follows:\nInvalid argument\n");
  EXPECT_TRUE(modem_.commands.empty());
}

// The system's image file, changed on disk by `change` right after its
// first read, as another program writing it during the download would.
class ChangingImageFile : public CountingImageFile {
 public:
  ChangingImageFile(int& opens, int& closes, std::function<void()> change)
      : CountingImageFile(opens, closes), change_(std::move(change)) {}
  bool read(unsigned char* buffer, std::size_t capacity, std::size_t& got) override {
    const bool ok = file_->read(buffer, capacity, got);
    if (change_) std::exchange(change_, nullptr)();
    return ok;
  }

 private:
  std::function<void()> change_;
};

TEST_F(DownloadTest, ImageChangedWhileSentIsNotReportedAsFinished) {
  const std::string path = image(1500);
  const std::string other = dir_.writeFile("other.bin", testing::patternBytes(1500));
  const std::vector<std::pair<const char*, std::function<void()>>> changes = {
      {"appended", [&] { std::ofstream(path, std::ios::app) << 'x'; }},
      {"rewritten in place",
       [&] {
         usleep(20000);  // past the file system's time stamp granularity
         std::ofstream(path, std::ios::in | std::ios::out) << 'y';
       }},
      {"replaced", [&] { ASSERT_EQ(rename(other.c_str(), path.c_str()), 0); }},
  };
  for (const auto& [name, change] : changes) {
    SCOPED_TRACE(name);
    FakeSerialPort* port = new FakeSerialPort;
    int opens = 0, closes = 0;
    AtInterface link(std::unique_ptr<SerialPort>(port), [&, change = change] {
      return std::make_unique<ChangingImageFile>(opens, closes, change);
    });
    FakeModem modem(*port);
    link.openPort(5);
    spinnerIndex = 0;
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(link.downloadImage(path));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              startMessage(path) + "/\b" + "image " + path +
                  " changed while it was sent - download not finished\n");
    EXPECT_EQ(link.lastFailure().kind, FailureKind::ImageChanged);
    EXPECT_EQ(modem.commands.back().rfind("AT%DNLIMG=", 0), 0u);
    EXPECT_EQ(closes, 1);
  }
}

TEST(ByteToHex, UpperCaseTwoDigits) {
  EXPECT_EQ(byteToHex(0x00), "00");
  EXPECT_EQ(byteToHex(0x0A), "0A");
  EXPECT_EQ(byteToHex(0x7F), "7F");
  EXPECT_EQ(byteToHex(0x80), "80");
  EXPECT_EQ(byteToHex(0xFF), "FF");
  std::string text;
  const unsigned char bytes[] = {0x00, 0x0A, 0x7F, 0x80, 0xFF};
  appendHex(text, bytes, sizeof bytes);
  EXPECT_EQ(text, "000A7F80FF");
}

TEST(ByteToHex, AppendHexAgreesWithByteToHexForEveryByte) {
  unsigned char every[256];
  std::string expected = "AT";
  for (unsigned byte = 0; byte < 256; ++byte) {
    every[byte] = static_cast<unsigned char>(byte);
    expected += byteToHex(every[byte]);
  }
  std::string text = "AT";
  appendHex(text, every, sizeof every);
  EXPECT_EQ(text, expected);
}

TEST(PacketSizeParse, ReadsLikePercentD) {
  int value = 0;
  EXPECT_TRUE(parseLeadingInteger("\r\n512\r\n", value));
  EXPECT_EQ(value, 512);
  EXPECT_TRUE(parseLeadingInteger(" \t-5x", value));
  EXPECT_EQ(value, -5);
  EXPECT_TRUE(parseLeadingInteger("+7", value));
  EXPECT_EQ(value, 7);
  EXPECT_TRUE(parseLeadingInteger("-2147483648", value));
  EXPECT_EQ(value, INT32_MIN);
  value = 99;
  for (const char* bad :
       {"", "  ", "abc", "-", "+ 5", "x12", "2147483648", "99999999999999999999"}) {
    EXPECT_FALSE(parseLeadingInteger(bad, value)) << bad;
  }
  EXPECT_EQ(value, 99);
}

}  // namespace
}  // namespace tarnwick

namespace tarnwick {
namespace {

// An image in memory that records the reads asked of it.
class MemoryImage : public ImageFile {
 public:
  explicit MemoryImage(std::string bytes) : bytes_(std::move(bytes)) {}
  bool open(const std::string&) override { return true; }
  std::uint64_t size() override { return bytes_.size(); }
  bool read(unsigned char* buffer, std::size_t capacity, std::size_t& got) override {
    reads.push_back(capacity);
    if (failReads) return false;
    got = std::min(capacity, bytes_.size() - at_);
    std::memcpy(buffer, bytes_.data() + at_, got);
    at_ += got;
    return true;
  }
  void close() override {}
  std::vector<std::size_t> reads;
  bool failReads = false;

 private:
  std::string bytes_;
  std::size_t at_ = 0;
};

TEST(ImageReader, ReadsInBlocksUpToTheLimitAndHandsOutPackets) {
  std::string bytes = testing::patternBytes(200000);
  MemoryImage file(bytes);
  ImageReader reader(file, 150000);
  std::string taken;
  std::vector<std::size_t> packets;
  unsigned char packet[100];
  std::size_t got = 0;
  while (reader.read(packet, sizeof packet, got) && got > 0) {
    taken.append(reinterpret_cast<char*>(packet), got);
    packets.push_back(got);
  }
  EXPECT_EQ(taken, bytes.substr(0, 150000));
  // Packets are whole across the block ends.
  EXPECT_EQ(packets, std::vector<std::size_t>(1500, 100));
  EXPECT_EQ(file.reads, (std::vector<std::size_t>{65536, 65536, 150000 - 131072}));
}

TEST(ImageReader, FileErrorsAreReported) {
  MemoryImage file("abc");
  file.failReads = true;
  ImageReader reader(file, 3);
  unsigned char packet[4];
  std::size_t got = 7;
  EXPECT_FALSE(reader.read(packet, sizeof packet, got));
  EXPECT_EQ(got, 0u);
}

}  // namespace
}  // namespace tarnwick
