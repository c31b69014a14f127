#include "cli/help_text.h"

#include "diag/console_print.h"

namespace tarnwick {

void printHelp() {
  static const char* const kHelpLines[] = {
      "\nTarnwick help\n\n",
      "\nFor Default Download Please specify file name (must be *.bin format)\n\n",
      "Other download options : [-c]||[-p] [-v] and [-f] file name\n",
      "flag: -c [optional] Port number\n",
      "flag: -p [optional] pid: Product id of device in hex format - prefix 0x\n",
      "flag: -v [optional] vid: Version id of device in hex format - prefix 0x\n",
      "Note - pid and vid are BOTH required when using these optional flags\n\n",
      "flag: -f [optional] file name - default option of marrowby\n\n",
      "-------------------------------------\n\n",
      " For AT Command Interface Please specify <AT> flag followed by <\"AT string\">\n",
      "\tAT  - specify AT Command string to follow eg AT AT+CGMR\n\n",
      ("\tfor any values enclosed in quotes \"\" in AT string please precede\n"
       "\twith escape \\ character\n"),
      "-------------------------------------\n\n",
      "end of help\n",
  };
  for (const char* line : kHelpLines) consolePrint("%s", line);
}

}  // namespace tarnwick
