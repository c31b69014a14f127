#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "discovery/default_identities.h"
#include "support/expected_text.h"
#include "support/temp_dir.h"
#include "support/tool_rig.h"

namespace tarnwick::testing {

// The shipped programs end to end, each test run once per build: "linux"
// (the native program in a mount namespace) and "windows" (the .exe under
// Wine), against simulated modems visible as USB devices.
class EndToEnd : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override;

  // Unplugs every modem and starts again with an empty rig.
  void freshRig();

  // A simulated modem with the first built-in identity on COM `comNumber`.
  ModemSimProcess* plugDefaultModem(const ModemSimOptions& options = {}, int comNumber = 4);
  ModemSimProcess* plugModem(const ModemSimOptions& options, const UsbIds& ids, int comNumber);

  RunResult run(const std::vector<std::string>& arguments, int timeoutMs = 30000);

  // Writes an image of `size` pattern bytes into the program's folder.
  std::string writeImage(const std::string& name, std::size_t size);

  // What the simulator received, as the file it wrote; empty when none.
  static std::string received(ModemSimProcess* sim);

  // The simulator's command log with each image packet shortened to its size.
  static std::vector<std::string> commandsOf(ModemSimProcess* sim);

  bool isWindows() const { return GetParam() == "windows"; }

  // Length of a very long argument: 64 KiB, or just under the 32767
  // characters a Windows command line can hold.
  std::size_t longArgumentLength() const { return isWindows() ? 30000 : 65536; }

  // The bytes the program receives for the argument "AT\xff\xfe": Wine hands
  // a Windows program the ANSI form of its arguments, where bytes that are
  // no text in the locale arrive as '?'.
  std::string nonAsciiArgumentAsReceived() const { return isWindows() ? "AT??" : "AT\xff\xfe"; }

  // The system's text for error 2 (file not found), as each build reports it.
  std::string fileNotFoundText() const {
    return isWindows() ? "File not found.\r\n" : "No such file or directory";
  }

  std::unique_ptr<ToolRig> rig_;
};

UsbIds defaultIds(unsigned entry = 0);

// Checks the whole run: exit status, standard output and standard error.
void expectRun(const RunResult& run, int exitCode, const std::string& out,
               const std::string& err = "");

}  // namespace tarnwick::testing
