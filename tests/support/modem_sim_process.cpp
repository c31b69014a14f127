#include "support/modem_sim_process.h"

#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace tarnwick::testing {
namespace {

void addPosition(std::vector<std::string>* args, const char* name, int position) {
  if (position > 0) args->insert(args->end(), {name, std::to_string(position)});
}

void addMillis(std::vector<std::string>* args, const char* name, int ms) {
  if (ms > 0) args->insert(args->end(), {name, std::to_string(ms)});
}

void addFlag(std::vector<std::string>* args, const char* name, bool set) {
  if (set) args->push_back(name);
}

void addText(std::vector<std::string>* args, const char* name, const std::string& text) {
  if (!text.empty()) args->insert(args->end(), {name, text});
}

bool makeWorkDir(std::string* dir, std::string* error) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/tarnwick-sim-XXXXXX";
  if (mkdtemp(&pattern[0]) == nullptr) {
    *error = std::string("mkdtemp: ") + std::strerror(errno);
    return false;
  }
  *dir = pattern;
  return true;
}

}  // namespace

std::vector<std::string> modemSimArguments(const ModemSimOptions& o, const std::string& imagePath,
                                           const std::string& logPath) {
  std::vector<std::string> args;
  if (o.writeImage) args.insert(args.end(), {"--image-out", imagePath});
  if (o.logCommands) args.insert(args.end(), {"--log", logPath});
  addText(&args, "--link", o.linkPath);
  addFlag(&args, "--no-echo", !o.echo);
  if (o.setPacketSize) args.insert(args.end(), {"--packet-size", o.packetSize});
  addText(&args, "--version-text", o.versionText);
  addText(&args, "--version-after-download", o.versionAfterDownload);
  addText(&args, "--unsolicited", o.unsolicited);
  addFlag(&args, "--unsolicited-after-echo", o.unsolicitedAfterEcho);
  addPosition(&args, "--error-at-command", o.errorAtCommand);
  addPosition(&args, "--error-at-packet", o.errorAtPacket);
  addPosition(&args, "--silent-at-command", o.silentAtCommand);
  addPosition(&args, "--silent-at-packet", o.silentAtPacket);
  addPosition(&args, "--no-final-at-command", o.noFinalAtCommand);
  addPosition(&args, "--vanish-at-command", o.vanishAtCommand);
  addPosition(&args, "--vanish-at-packet", o.vanishAtPacket);
  addPosition(&args, "--flood-at-command", o.floodAtCommand);
  addFlag(&args, "--error-at-end", o.errorAtEnd);
  addFlag(&args, "--cgmr-error", o.cgmrError);
  addFlag(&args, "--nul-bytes", o.nulBytes);
  addFlag(&args, "--hold-slave", o.holdSlave);
  addMillis(&args, "--byte-delay-ms", o.byteDelayMs);
  addMillis(&args, "--reply-delay-ms", o.replyDelayMs);
  addMillis(&args, "--deaf-for-ms", o.deafForMs);
  addMillis(&args, "--flood-stall-ms", o.floodStallMs);
  addMillis(&args, "--exit-after-ms", o.exitAfterMs);
  args.insert(args.end(), o.extraArguments.begin(), o.extraArguments.end());
  return args;
}

ModemSimProcess::~ModemSimProcess() {
  process_.stop();
  removeWorkDir();
}

bool ModemSimProcess::start(const ModemSimOptions& options, std::string* error,
                            int readyTimeoutMs) {
  if (!workDir_.empty()) {
    *error = "this modem-sim has been started already";
    return false;
  }
  if (!makeWorkDir(&workDir_, error)) return false;
  imagePath_ = workDir_ + "/received.bin";
  logPath_ = workDir_ + "/commands.log";
  ProcessSpec launch;
  launch.argv.push_back(MODEM_SIM_PROGRAM);
  const std::vector<std::string> args = modemSimArguments(options, imagePath_, logPath_);
  launch.argv.insert(launch.argv.end(), args.begin(), args.end());
  OutputSetup output;
  output.pipeStdout = true;
  output.stderrPath = workDir_ + "/stderr.txt";
  if (!process_.start(launch, output, error)) return false;
  std::string line;
  if (!process_.readStdoutLine(readyTimeoutMs, &line) || line.compare(0, 4, "PTY ") != 0) {
    *error = "modem-sim did not report its pty within " + std::to_string(readyTimeoutMs) +
             " ms (first line '" + line + "'); stderr: " + stderrText();
    process_.stop();
    return false;
  }
  ptyPath_ = line.substr(4);
  return true;
}

std::vector<std::string> ModemSimProcess::commandLog() const {
  std::vector<std::string> lines;
  std::string text;
  if (!readWholeFile(logPath_, &text)) return lines;
  std::string::size_type start = 0;
  for (std::string::size_type end; (end = text.find('\n', start)) != std::string::npos;
       start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

bool ModemSimProcess::receivedImage(std::string* bytes) const {
  return readWholeFile(imagePath_, bytes);
}

std::string ModemSimProcess::stderrText() const {
  std::string text;
  readWholeFile(workDir_ + "/stderr.txt", &text);
  return text;
}

void ModemSimProcess::removeWorkDir() {
  if (workDir_.empty()) return;
  if (DIR* dir = opendir(workDir_.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") unlink((workDir_ + "/" + name).c_str());
    }
    closedir(dir);
  }
  rmdir(workDir_.c_str());
  workDir_.clear();
}

bool readWholeFile(const std::string& path, std::string* bytes) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::ostringstream content;
  content << file.rdbuf();
  *bytes = content.str();
  return true;
}

}  // namespace tarnwick::testing
