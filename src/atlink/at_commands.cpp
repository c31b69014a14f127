#include "atlink/at_commands.h"

namespace tarnwick {

const std::string OkTerminator = "\r\nOK\r\n";
const std::string ErrorTerminator = "\r\nERROR\r\n";

}  // namespace tarnwick
