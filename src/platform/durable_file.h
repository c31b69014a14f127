#pragma once

#include <string>

namespace tarnwick {

// Files that are on disk whole or not at all, across a crash or a power cut.
// Paths are UTF-8 text.

// What a file being written is called until it is renamed into place:
// `path` with this added. A reader of the folder skips such names.
inline constexpr const char* kDurableTempSuffix = ".tmp";

// Writes `bytes` to `path`: first to the temporary name beside it, synced to
// disk, then renamed over `path` (replacing any file there), and on systems
// that need it the folder synced too, so the new name survives. On false
// `why` says why, `path` is as it was, and no temporary file stays.
// The file is the user's alone: 0600 on Linux whatever the umask (what is
// written here holds IMEIs and serials); on Windows it takes its folder's
// access, and the user's local app data is the user's alone.
bool writeFileDurably(const std::string& path, const std::string& bytes, std::string& why);

// Deletes `path`. On Linux the folder is synced, so the deletion is on disk
// when this returns; Windows has no way to sync a folder, and a power cut
// may bring the file back (sent once more, never lost).
bool removeFileDurably(const std::string& path, std::string& why);

// Creates the folder `path` and every missing folder above it, each the
// user's alone (0700 on Linux whatever the umask; on Windows as the folder
// above gives). Folders already there are left as they are. On false `why`
// says which folder could not be made and why.
bool createPrivateFolders(const std::string& path, std::string& why);

}  // namespace tarnwick
