// The Linux program under valgrind's memcheck: a whole download and an AT
// command with no invalid access and no leak.
#include <gtest/gtest.h>

#include <fstream>

#include "support/expected_text.h"
#include "support/temp_dir.h"
#include "support/tool_rig.h"

namespace tarnwick::testing {
namespace {

// Any memory error or definite leak makes valgrind end the program with 99.
// Its report goes to a log (it also notes, harmlessly, that it does not know
// the ioctl that makes the port exclusive).
std::vector<std::string> memcheck(const std::string& logPath) {
  return {"valgrind",
          "--quiet",
          "--error-exitcode=99",
          "--leak-check=full",
          "--errors-for-leak-kinds=definite,indirect",
          "--log-file=" + logPath};
}

TEST(UnderValgrind, DownloadAndAtCommandRunClean) {
  TempDir logs;
  std::string log = logs.path() + "/memcheck.log";
  std::unique_ptr<ToolRig> rig = makeLinuxToolRig(memcheck(log));
  std::string error;
  ModemSimProcess* sim = rig->plugModem({}, UsbIds{"2c7c", "0125"}, 3, &error);
  ASSERT_NE(sim, nullptr) << error;
  std::string image = patternBytes(40000);
  std::ofstream(rig->workDir() + "/fw.bin", std::ios::binary).write(image.data(), image.size());

  RunResult download = rig->run({"fw.bin"}, 120000);
  EXPECT_TRUE(download.exitedWith(0)) << download.describe() << readFile(log);
  EXPECT_EQ(download.err, "");
  EXPECT_NE(download.out.find(kFinished), std::string::npos);
  std::string received;
  ASSERT_TRUE(sim->receivedImage(&received));
  EXPECT_TRUE(received == image);

  RunResult at = rig->run({"AT", "AT+CGMR"}, 60000);
  EXPECT_TRUE(at.exitedWith(0)) << at.describe() << readFile(log);
  EXPECT_EQ(at.err, "");
}

}  // namespace
}  // namespace tarnwick::testing
