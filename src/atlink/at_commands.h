#pragma once

#include <string>

namespace tarnwick {

// The two final results by which every AT reply is recognised.
extern const std::string OkTerminator;     // "\r\nOK\r\n"
extern const std::string ErrorTerminator;  // "\r\nERROR\r\n"

// Every command the tool sends on its own, in one place. A command goes out
// as its text and one carriage return; the link appends the carriage return.
namespace at_command {
constexpr char kAttention[] = "AT";                  // handshake: must answer OK
constexpr char kFirmwareVersion[] = "AT+CGMR";       // debug query
constexpr char kQueryPacketSize[] = "AT%DNLPK?";     // body starts with the size
constexpr char kBeginDownload[] = "AT%DNL=1";        // download started
constexpr char kImagePacketStart[] = "AT%DNLIMG=\"";  // then hex text, then '"'
constexpr char kImagePacketEnd[] = "\"";
constexpr char kEndDownload[] = "AT%DNL=0";  // download ended
// The station's identity query: the body is the modem's IMEI.
constexpr char kSerialNumber[] = "AT+CGSN";
}  // namespace at_command

}  // namespace tarnwick
