#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "support/subprocess.h"

namespace tarnwick::testing {

// How the simulated modem should behave. Positions count from 1; 0 leaves a
// misbehaviour off. Anything not covered here goes in `extraArguments`.
// The simulator decodes \r \n \t \0 \\ and \xHH in the text values; other
// bytes, raw CR and LF included, pass unchanged.
struct ModemSimOptions {
  bool echo = true;
  bool logCommands = true;  // --log into the work folder (off for speed runs)
  bool writeImage = true;   // --image-out into the work folder
  std::string linkPath;     // --link, empty for none
  std::string packetSize;   // --packet-size when `setPacketSize`
  bool setPacketSize = false;
  std::string versionText;           // --version-text when not empty
  std::string versionAfterDownload;  // --version-after-download when not empty
  std::string unsolicited;           // --unsolicited when not empty
  bool unsolicitedAfterEcho = false;
  int errorAtCommand = 0;
  int errorAtPacket = 0;
  int silentAtCommand = 0;
  int silentAtPacket = 0;
  int noFinalAtCommand = 0;
  int vanishAtCommand = 0;
  int vanishAtPacket = 0;
  int floodAtCommand = 0;
  bool errorAtEnd = false;
  bool cgmrError = false;
  bool nulBytes = false;
  bool holdSlave = false;  // keeps the pty slave open, as iaxmodem does
  int byteDelayMs = 0;
  int replyDelayMs = 0;
  int deafForMs = 0;
  int floodStallMs = 0;  // 0: the simulator's default
  int exitAfterMs = 0;   // 0: runs until stopped
  std::vector<std::string> extraArguments;
};

// The simulator's arguments for `options` (without the program path);
// `imagePath` and `logPath` are used when the options ask for them.
std::vector<std::string> modemSimArguments(const ModemSimOptions& options,
                                           const std::string& imagePath,
                                           const std::string& logPath);

// A running modem-sim in a private work folder. `start` returns once the
// simulator has published its pty path (or failed within the wait); the
// destructor stops it by pid and removes the work folder.
class ModemSimProcess {
 public:
  ModemSimProcess() = default;
  ~ModemSimProcess();
  ModemSimProcess(const ModemSimProcess&) = delete;
  ModemSimProcess& operator=(const ModemSimProcess&) = delete;

  bool start(const ModemSimOptions& options, std::string* error, int readyTimeoutMs = 5000);

  const std::string& ptyPath() const { return ptyPath_; }
  const std::string& imagePath() const { return imagePath_; }  // exists after AT%DNL=0
  const std::string& logPath() const { return logPath_; }
  const std::string& workDir() const { return workDir_; }
  pid_t pid() const { return process_.pid(); }

  // The commands received so far, one per line of the log.
  std::vector<std::string> commandLog() const;
  // The image file's bytes; false while there is none.
  bool receivedImage(std::string* bytes) const;
  // What the simulator printed on standard error.
  std::string stderrText() const;

  bool running() { return process_.running(); }
  bool waitForExit(int timeoutMs) { return process_.waitForExit(timeoutMs); }
  ExitStatus stop() { return process_.stop(); }

 private:
  void removeWorkDir();

  StartedProcess process_;
  std::string workDir_;
  std::string ptyPath_;
  std::string imagePath_;
  std::string logPath_;
};

// The whole content of a file; false when it cannot be read.
bool readWholeFile(const std::string& path, std::string* bytes);

}  // namespace tarnwick::testing
