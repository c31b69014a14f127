#pragma once

#include <cstdint>
#include <set>
#include <string>

namespace modemsim {

// Positions are 1-based: command 1 is the first command line received,
// packet 1 the first AT%DNLIMG command.
using PositionSet = std::set<std::uint64_t>;

struct SimOptions {
  // Where the simulated device lives and what it leaves behind.
  std::string ttyPath;            // existing tty to serve instead of a pty
  std::string linkPath;           // symlink to the pty slave, empty for none
  std::string imageOut;           // file that receives the image at AT%DNL=0
  std::string logPath;            // command log, empty for none
  std::int64_t exitAfterMs = -1;  // negative: run until signalled

  // What the modem answers.
  bool echo = true;
  std::string versionText = "SIMMODEM_V1.0";
  std::string versionAfterDownload;
  std::string imei;  // empty: AT+CGSN gets ERROR
  std::string packetSizeText = "512";

  // Misbehaviour.
  PositionSet errorAtCommand;
  PositionSet errorAtPacket;
  PositionSet silentAtCommand;
  PositionSet silentAtPacket;
  PositionSet noFinalAtCommand;
  PositionSet vanishAtCommand;
  PositionSet vanishAtPacket;
  PositionSet floodAtCommand;
  bool errorAtEnd = false;
  bool cgmrError = false;
  bool nulBytes = false;
  bool holdSlave = false;   // the pty's slave stays open in the simulator too
  std::string unsolicited;  // sent with every reply, empty for none
  bool unsolicitedAfterEcho = false;
  std::int64_t byteDelayMs = 0;
  std::int64_t replyDelayMs = 0;
  std::int64_t deafForMs = 0;
  std::int64_t floodStallMs = 1000;
  std::int64_t vanishLingerMs = 300;
};

enum class ParseOutcome { Run, ShowHelp, Invalid };

// Reads the command line into `options`. On Invalid, `error` says why.
ParseOutcome parseOptions(int argc, char** argv, SimOptions* options, std::string* error);

// Turns the escapes \r \n \t \0 \\ and \xHH into the bytes they name, so that
// line ends and control bytes can be given from a shell.
bool decodeEscapes(const std::string& text, std::string* bytes, std::string* error);

std::string helpText();

}  // namespace modemsim
