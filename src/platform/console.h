#pragma once

namespace tarnwick {

// Makes standard output and standard error carry the tool's bytes exactly
// as written: no line-end translation, so the same text comes out of both
// builds and a modem's reply is shown as it came.
void prepareConsole();

}  // namespace tarnwick
