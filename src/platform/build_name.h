#pragma once

namespace tarnwick {

// The operating system this program was built for, as a user names it:
// "Linux" or "Windows".
const char* buildName();

}  // namespace tarnwick
