#include "sim_options.h"

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace modemsim {
namespace {

enum class ValueKind { Flag, ClearFlag, Path, Text, Position, Millis };

struct OptionSpec {
  const char* name;
  ValueKind kind;
  const char* valueName;
  const char* help;
};

const std::vector<OptionSpec>& optionSpecs() {
  static const std::vector<OptionSpec> descriptors = {
      {"--tty", ValueKind::Path, "PATH",
       "serve the existing tty PATH (e.g. a USB gadget's /dev/ttyGS0) instead of a pty; "
       "opened again after the host side hangs up (the gadget unplugged)"},
      {"--link", ValueKind::Path, "PATH", "also create symlink PATH to the pty (removed at exit)"},
      {"--image-out", ValueKind::Path, "PATH", "write the received image to PATH at AT%DNL=0"},
      {"--log", ValueKind::Path, "PATH", "append every command received to PATH, one per line"},
      {"--exit-after-ms", ValueKind::Millis, "N", "exit cleanly after N milliseconds"},
      {"--no-echo", ValueKind::ClearFlag, nullptr, "do not echo commands"},
      {"--version-text", ValueKind::Text, "TEXT", "information line of AT+CGMR"},
      {"--version-after-download", ValueKind::Text, "TEXT",
       "information line of AT+CGMR once a download has ended"},
      {"--imei", ValueKind::Text, "TEXT",
       "information line of AT+CGSN (without it AT+CGSN gets ERROR)"},
      {"--packet-size", ValueKind::Text, "TEXT", "answer of AT%DNLPK? (default 512), any text"},
      {"--error-at-command", ValueKind::Position, "K", "answer ERROR to command K"},
      {"--error-at-packet", ValueKind::Position, "K", "answer ERROR to AT%DNLIMG command K"},
      {"--silent-at-command", ValueKind::Position, "K", "send nothing at all for command K"},
      {"--silent-at-packet", ValueKind::Position, "K", "send nothing at all for AT%DNLIMG K"},
      {"--no-final-at-command", ValueKind::Position, "K", "answer command K without OK/ERROR"},
      {"--vanish-at-command", ValueKind::Position, "K",
       "close the device (and --link) at command K, exit"},
      {"--vanish-at-packet", ValueKind::Position, "K",
       "close the device (and --link) at AT%DNLIMG K, exit"},
      {"--flood-at-command", ValueKind::Position, "K", "answer command K with endless text"},
      {"--error-at-end", ValueKind::Flag, nullptr, "answer ERROR to AT%DNL=0"},
      {"--cgmr-error", ValueKind::Flag, nullptr, "answer ERROR to AT+CGMR"},
      {"--hold-slave", ValueKind::Flag, nullptr,
       "keep the pty's slave open too, as software modems such as iaxmodem do"},
      {"--nul-bytes", ValueKind::Flag, nullptr, "put a NUL byte after every third reply byte"},
      {"--unsolicited", ValueKind::Text, "TEXT", "send TEXT before every reply"},
      {"--unsolicited-after-echo", ValueKind::Flag, nullptr,
       "send the --unsolicited TEXT after the echo instead"},
      {"--byte-delay-ms", ValueKind::Millis, "N", "send replies one byte at a time, N ms apart"},
      {"--reply-delay-ms", ValueKind::Millis, "N", "wait N ms before each reply"},
      {"--deaf-for-ms", ValueKind::Millis, "N",
       "answer nothing for N ms after start, as a modem still booting"},
      {"--flood-stall-ms", ValueKind::Millis, "N",
       "end a flood when the client has read nothing for N ms (default 1000)"},
      {"--vanish-linger-ms", ValueKind::Millis, "N",
       "after vanishing, exit N ms later (default 300)"},
      {"--help", ValueKind::Flag, nullptr, "show this text"},
  };
  return descriptors;
}

const OptionSpec* findSpec(const std::string& name) {
  for (const OptionSpec& descriptor : optionSpecs()) {
    if (name == descriptor.name) return &descriptor;
  }
  return nullptr;
}

bool parseUnsigned(const std::string& text, std::uint64_t* value) {
  if (text.empty() || text[0] < '0' || text[0] > '9') return false;
  errno = 0;
  char* end = nullptr;
  unsigned long long parsed = std::strtoull(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0') return false;
  *value = parsed;
  return true;
}

bool* flagTarget(const std::string& name, SimOptions* o) {
  if (name == "--no-echo") return &o->echo;
  if (name == "--error-at-end") return &o->errorAtEnd;
  if (name == "--cgmr-error") return &o->cgmrError;
  if (name == "--nul-bytes") return &o->nulBytes;
  if (name == "--hold-slave") return &o->holdSlave;
  if (name == "--unsolicited-after-echo") return &o->unsolicitedAfterEcho;
  return nullptr;
}

std::string* textTarget(const std::string& name, SimOptions* o) {
  if (name == "--tty") return &o->ttyPath;
  if (name == "--link") return &o->linkPath;
  if (name == "--image-out") return &o->imageOut;
  if (name == "--log") return &o->logPath;
  if (name == "--version-text") return &o->versionText;
  if (name == "--version-after-download") return &o->versionAfterDownload;
  if (name == "--imei") return &o->imei;
  if (name == "--packet-size") return &o->packetSizeText;
  if (name == "--unsolicited") return &o->unsolicited;
  return nullptr;
}

PositionSet* positionTarget(const std::string& name, SimOptions* o) {
  if (name == "--error-at-command") return &o->errorAtCommand;
  if (name == "--error-at-packet") return &o->errorAtPacket;
  if (name == "--silent-at-command") return &o->silentAtCommand;
  if (name == "--silent-at-packet") return &o->silentAtPacket;
  if (name == "--no-final-at-command") return &o->noFinalAtCommand;
  if (name == "--vanish-at-command") return &o->vanishAtCommand;
  if (name == "--vanish-at-packet") return &o->vanishAtPacket;
  if (name == "--flood-at-command") return &o->floodAtCommand;
  return nullptr;
}

std::int64_t* millisTarget(const std::string& name, SimOptions* o) {
  if (name == "--exit-after-ms") return &o->exitAfterMs;
  if (name == "--byte-delay-ms") return &o->byteDelayMs;
  if (name == "--reply-delay-ms") return &o->replyDelayMs;
  if (name == "--deaf-for-ms") return &o->deafForMs;
  if (name == "--flood-stall-ms") return &o->floodStallMs;
  if (name == "--vanish-linger-ms") return &o->vanishLingerMs;
  return nullptr;
}

bool applyValue(const OptionSpec& descriptor, const std::string& value, SimOptions* options,
                std::string* error) {
  const std::string name = descriptor.name;
  std::uint64_t number = 0;
  switch (descriptor.kind) {
    case ValueKind::Path:
      if (value.empty()) break;
      *textTarget(name, options) = value;
      return true;
    case ValueKind::Text:
      return decodeEscapes(value, textTarget(name, options), error);
    case ValueKind::Position:
      if (!parseUnsigned(value, &number) || number == 0) break;
      positionTarget(name, options)->insert(number);
      return true;
    case ValueKind::Millis:
      if (!parseUnsigned(value, &number) || number > 86400000u) break;
      *millisTarget(name, options) = static_cast<std::int64_t>(number);
      return true;
    case ValueKind::Flag:
    case ValueKind::ClearFlag:
      break;
  }
  *error = "bad value '" + value + "' for " + name;
  return false;
}

// Splits "--name=value" into its parts; other arguments are left whole.
void splitInlineValue(const std::string& argument, std::string* name, std::string* value,
                      bool* hasValue) {
  const std::string::size_type equals = argument.find('=');
  *hasValue = argument.rfind("--", 0) == 0 && equals != std::string::npos;
  *name = *hasValue ? argument.substr(0, equals) : argument;
  *value = *hasValue ? argument.substr(equals + 1) : std::string();
}

int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool decodeEscapes(const std::string& text, std::string* bytes, std::string* error) {
  std::string out;
  for (std::string::size_type i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    const char next = i + 1 < text.size() ? text[i + 1] : '\0';
    i += 1;
    if (next == 'r') {
      out += '\r';
    } else if (next == 'n') {
      out += '\n';
    } else if (next == 't') {
      out += '\t';
    } else if (next == '0') {
      out += '\0';
    } else if (next == '\\') {
      out += '\\';
    } else if (next == 'x' && i + 2 < text.size() && hexDigitValue(text[i + 1]) >= 0 &&
               hexDigitValue(text[i + 2]) >= 0) {
      out += static_cast<char>(hexDigitValue(text[i + 1]) * 16 + hexDigitValue(text[i + 2]));
      i += 2;
    } else {
      *error = "bad escape in '" + text + "'";
      return false;
    }
  }
  *bytes = out;
  return true;
}

ParseOutcome parseOptions(int argc, char** argv, SimOptions* options, std::string* error) {
  for (int i = 1; i < argc; ++i) {
    std::string name, value;
    bool hasValue = false;
    splitInlineValue(argv[i], &name, &value, &hasValue);
    const OptionSpec* descriptor = findSpec(name);
    if (descriptor == nullptr) {
      *error = "unknown option '" + std::string(argv[i]) + "'";
      return ParseOutcome::Invalid;
    }
    if (name == "--help") return ParseOutcome::ShowHelp;
    if (descriptor->kind == ValueKind::Flag || descriptor->kind == ValueKind::ClearFlag) {
      if (hasValue) {
        *error = name + " takes no value";
        return ParseOutcome::Invalid;
      }
      *flagTarget(name, options) = descriptor->kind == ValueKind::Flag;
      continue;
    }
    if (!hasValue) {
      if (i + 1 >= argc) {
        *error = name + " needs a value";
        return ParseOutcome::Invalid;
      }
      value = argv[++i];
    }
    if (!applyValue(*descriptor, value, options, error)) return ParseOutcome::Invalid;
  }
  return ParseOutcome::Run;
}

std::string helpText() {
  std::string text =
      "usage: modem-sim [options]\n"
      "A simulated LTE modem on a pseudo-terminal. Prints \"PTY <slave path>\" as its first\n"
      "line once ready, then answers AT, AT+CGMR, AT+CGSN (given --imei), AT%DNLPK?, AT%DNL=1,\n"
      "AT%DNLIMG=\"HEX\" and AT%DNL=0 (exact upper-case text; anything else gets ERROR).\n"
      "Each command ends with a carriage return; a line feed at the start of a command is\n"
      "ignored. Counts K start at 1.\n"
      "TEXT values understand \\r \\n \\t \\0 \\\\ and \\xHH. Options may repeat.\n\n";
  for (const OptionSpec& descriptor : optionSpecs()) {
    std::string left = std::string("  ") + descriptor.name;
    if (descriptor.valueName != nullptr) left += std::string(" ") + descriptor.valueName;
    if (left.size() < 28) left.resize(28, ' ');
    text += left + " " + descriptor.help + "\n";
  }
  return text;
}

}  // namespace modemsim
