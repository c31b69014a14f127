#include "station/publish/broker_address.h"

#include <algorithm>
#include <cctype>

namespace tarnwick {
namespace {

bool fail(std::string* error, const std::string& text) {
  *error = "bad broker address: " + text;
  return false;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Replaces each %XX by its byte. False on a cut or non-hex escape.
bool percentDecode(const std::string& text, std::string* decoded) {
  decoded->clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      decoded->push_back(text[i]);
      continue;
    }
    const int high = i + 2 < text.size() ? hexValue(text[i + 1]) : -1;
    const int low = high >= 0 ? hexValue(text[i + 2]) : -1;
    if (low < 0) return false;
    decoded->push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  return true;
}

// "amqp://" or "amqps://", in any case; the length taken, 0 for neither.
std::size_t schemeLength(const std::string& url, bool* tls) {
  std::string lower;
  for (std::size_t i = 0; i < url.size() && i < 8; ++i) {
    lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(url[i]))));
  }
  *tls = lower.rfind("amqps://", 0) == 0;
  if (*tls) return 8;
  return lower.rfind("amqp://", 0) == 0 ? 7 : 0;
}

bool parseUserInfo(const std::string& userInfo, BrokerAddress* address, std::string* error) {
  const std::size_t colon = userInfo.find(':');
  if (!percentDecode(userInfo.substr(0, colon), &address->user)) {
    return fail(error, "bad %-escape in the user name");
  }
  if (address->user.empty()) return fail(error, "empty user name before '@'");
  if (colon == std::string::npos) return true;
  if (!percentDecode(userInfo.substr(colon + 1), &address->password)) {
    return fail(error, "bad %-escape in the password");
  }
  address->passwordInUrl = true;
  return true;
}

bool parsePort(const std::string& text, int* port, std::string* error) {
  bool digits = !text.empty() && text.size() <= 5;
  int value = 0;
  for (char c : text) {
    digits = digits && std::isdigit(static_cast<unsigned char>(c));
    value = value * 10 + (c - '0');
  }
  if (!digits || value < 1 || value > 65535) {
    return fail(error, "the port must be a number from 1 to 65535");
  }
  *port = value;
  return true;
}

// HOST, [IPV6] or either with :PORT.
bool parseHostPort(const std::string& hostPort, BrokerAddress* address, std::string* error) {
  std::size_t hostEnd = 0;
  if (!hostPort.empty() && hostPort[0] == '[') {
    hostEnd = hostPort.find(']');
    if (hostEnd == std::string::npos) return fail(error, "'[' without ']' around the host");
    address->host = hostPort.substr(1, hostEnd - 1);
    ++hostEnd;
  } else {
    hostEnd = std::min(hostPort.find(':'), hostPort.size());
    address->host = hostPort.substr(0, hostEnd);
  }
  if (address->host.empty()) return fail(error, "no host");
  address->port = address->tls ? kAmqpsPort : kAmqpPort;
  if (hostEnd == hostPort.size()) return true;
  if (hostPort[hostEnd] != ':') return fail(error, "unexpected text after the host");
  return parsePort(hostPort.substr(hostEnd + 1), &address->port, error);
}

// The user name as a URL holds it: what is not plain (an '@', a ':', a '%',
// a control byte) as %XX, so the printed URL reads back as the same name.
std::string percentEncodedUser(const std::string& user) {
  static const char kHex[] = "0123456789ABCDEF";
  static const std::string kPlain = "-._~!$&'()*+,;=";
  std::string encoded;
  for (const char c : user) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if ((byte < 0x80 && std::isalnum(byte)) || kPlain.find(c) != std::string::npos) {
      encoded.push_back(c);
      continue;
    }
    encoded += {'%', kHex[byte >> 4], kHex[byte & 15]};
  }
  return encoded;
}

}  // namespace

bool parseBrokerAddress(const std::string& url, BrokerAddress* address, std::string* error) {
  BrokerAddress parsed;
  const std::size_t start = schemeLength(url, &parsed.tls);
  if (start == 0) return fail(error, "it must begin with amqp:// or amqps://");
  const std::size_t slash = url.find('/', start);
  if (slash == std::string::npos || slash + 1 == url.size()) {
    return fail(error, "no target address after the host (for example /amq/queue/NAME)");
  }
  const std::string authority = url.substr(start, slash - start);
  const std::size_t at = authority.rfind('@');
  if (at != std::string::npos && !parseUserInfo(authority.substr(0, at), &parsed, error)) {
    return false;
  }
  const std::size_t hostStart = at == std::string::npos ? 0 : at + 1;
  if (!parseHostPort(authority.substr(hostStart), &parsed, error)) return false;
  parsed.target = url.substr(slash);
  *address = parsed;
  return true;
}

std::string printableBrokerAddress(const BrokerAddress& address) {
  std::string text = address.tls ? "amqps://" : "amqp://";
  if (!address.user.empty()) text += percentEncodedUser(address.user) + "@";
  const bool bracketed = address.host.find(':') != std::string::npos;
  text += bracketed ? "[" + address.host + "]" : address.host;
  return text + ":" + std::to_string(address.port) + address.target;
}

std::string brokerConnectUrl(const BrokerAddress& address) {
  BrokerAddress bare = address;
  bare.user.clear();
  bare.target.clear();
  return printableBrokerAddress(bare);
}

bool passwordSpan(const std::string& argument, std::size_t& offset, std::size_t& length) {
  std::string lower;
  for (char c : argument)
    lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  const std::size_t scheme = lower.find("amqp");
  if (scheme == std::string::npos) return false;
  bool tls = false;
  const std::size_t start = scheme + schemeLength(lower.substr(scheme), &tls);
  if (start == scheme) return false;
  const std::size_t end = std::min(argument.find('/', start), argument.size());
  const std::size_t at = argument.rfind('@', end - 1);
  if (at == std::string::npos || at < start) return false;
  const std::size_t colon = argument.find(':', start);
  if (colon == std::string::npos || colon > at) return false;
  offset = colon + 1;
  length = at - offset;
  return length > 0;
}

}  // namespace tarnwick
