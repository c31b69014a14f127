#pragma once

#include <string>

namespace tarnwick {

// The per-user folder where the station keeps results waiting for the
// broker: `$XDG_STATE_HOME/tarnwick/outbox`, else
// `~/.local/state/tarnwick/outbox`; on Windows `%LOCALAPPDATA%\Tarnwick\outbox`.
// The folder is not created here. False with `why` when the system names no
// home or state folder.
bool defaultOutboxFolder(std::string& folder, std::string& why);

}  // namespace tarnwick
