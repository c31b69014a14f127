// Invocation forms that need no modem: both programs must print the same
// bytes and end with the same status.
#include "e2e/end_to_end.h"

namespace tarnwick::testing {
namespace {

TEST_P(EndToEnd, NoArgumentShowsHelpAndExitsMinusOne) {
  expectRun(run({}), 255, kBanner + kHelp);
}

TEST_P(EndToEnd, AtWithoutCommandComplains) {
  expectRun(run({"AT"}), 1,
            kBanner + "AT Mode : AT command string required\n" + kHelp + kDownloadFailed);
}

TEST_P(EndToEnd, DebugWithAFileNameInEitherOrderShowsHelpOnly) {
  expectRun(run({"-debug", "fw.bin"}), 0, kBanner + "argc = 3\n\n" + kHelp);
  expectRun(run({"fw.bin", "-debug"}), 0, kBanner + "argc = 3\n\n" + kHelp);
}

TEST_P(EndToEnd, UnknownWordsAreInvalidSyntax) {
  expectRun(run({"flash", "fw.bin"}), 1, kBanner + "invalid syntax specified\n" + kHelp);
  expectRun(run({"At", "AT+CGMR"}), 1, kBanner + "invalid syntax specified\n" + kHelp);
  expectRun(run({"fw.bin", "-c", "3"}), 1, kBanner + "invalid syntax\n");
}

TEST_P(EndToEnd, FileOptionWithoutImageNameIsRefusedBeforeAnySearch) {
  expectRun(run({"-f", "fw.img"}), 1, kBanner + kNotAnImageName + kDownloadFailed);
  expectRun(run({"-F", "-debug"}), 1, kBanner + "argc = 3\n\n" + kNotAnImageName + kDownloadFailed);
}

TEST_P(EndToEnd, HostileArgumentsArePrintedAsText) {
  std::string hostile = "%n%s%x" + std::string(longArgumentLength(), 'A');
  expectRun(run({"-c", "3", hostile}), 1, kBanner + kNotAnImageName + kDownloadFailed);
  expectRun(run({"-debug", "-f", hostile + ".bin", "-c"}), 1,
            kBanner + "argc = 5\n\n-f specified\nvalid filename specified : " + hostile +
                ".bin\n-c specified\nno COM port value entered\n" + kDownloadFailed);
  expectRun(run({"", ""}), 1, kBanner + "invalid syntax specified\n" + kHelp);
}

}  // namespace
}  // namespace tarnwick::testing
