#pragma once

namespace tarnwick {

// Set by "-debug" on the command line (with two or more arguments); the
// option-list download prints its progress while it is set. Never cleared.
extern bool debugMode;

}  // namespace tarnwick
