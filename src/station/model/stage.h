#pragma once

namespace tarnwick {

// The steps of one modem's flash, in their order, as its worker tells them.
enum class Stage { Connect, Version, Validate, PacketSize, Begin, Download, End };

// The stage as the views and records name it: "connect", "version",
// "validate" (asking the MES), "packet size", "begin", "download", "end".
const char* stageName(Stage stage);

}  // namespace tarnwick
