#pragma once

#include <memory>

#include "support/tool_rig.h"

namespace tarnwick::testing {

// The rig of the Windows program: a private Wine prefix whose registry holds
// USB device entries and whose dosdevices/comN link to simulated modems.
std::unique_ptr<ToolRig> makeWineToolRig();

}  // namespace tarnwick::testing
