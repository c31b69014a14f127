#pragma once

#include <cstddef>
#include <string>

namespace tarnwick::testing {

// The tool's fixed texts, written out here independently of the code that
// prints them, so that a changed byte fails a test.
inline const std::string kBanner = "\nTarnwick Version V1.2c\n\n";
inline const std::string kHelp =
    "\nTarnwick help\n\n"
    "\nFor Default Download Please specify file name (must be *.bin format)\n\n"
    "Other download options : [-c]||[-p] [-v] and [-f] file name\n"
    "flag: -c [optional] Port number\n"
    "flag: -p [optional] pid: Product id of device in hex format - prefix 0x\n"
    "flag: -v [optional] vid: Version id of device in hex format - prefix 0x\n"
    "Note - pid and vid are BOTH required when using these optional flags\n\n"
    "flag: -f [optional] file name - default option of marrowby\n\n"
    "-------------------------------------\n\n"
    " For AT Command Interface Please specify <AT> flag followed by <\"AT string\">\n"
    "\tAT  - specify AT Command string to follow eg AT AT+CGMR\n\n"
    "\tfor any values enclosed in quotes \"\" in AT string please precede\n"
    "\twith escape \\ character\n"
    "-------------------------------------\n\n"
    "end of help\n";
inline const std::string kDownloadFailed = "download failed\n";
inline const std::string kFinished =
    "Finished Download\nto complete process - please unplug and re-insert the USB Modem\n";
inline const std::string kFailedToFindUe = "Failed to find UE\n";
inline const std::string kNotAnImageName = "invalid filename entered - not a .bin\n";
inline const std::string kNoResponse = "No response from AT command\n";

// What the spinner prints over a download of `packets` packets from its
// first position: a character and a backspace every tenth packet attempt.
inline std::string spinnerFor(std::size_t packets) {
  static const char kSpinner[] = {'/', '-', '\\', '|'};
  std::string text;
  for (std::size_t p = 0, i = 0; p < packets; p += 10, ++i) {
    text += kSpinner[i % 4];
    text += '\b';
  }
  return text;
}

inline std::string startMessage(const std::string& path) {
  return "downloading " + path + " - \nthis will take up to 3 minutes.\n Please wait....\n\n";
}

}  // namespace tarnwick::testing
