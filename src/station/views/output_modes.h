#pragma once

namespace tarnwick {

// --progress: how the human view shows the run.
enum class ProgressMode { Auto, Tty, Plain, None };

// --color: whether the human views colour the states.
enum class ColorMode { Auto, Always, Never };

}  // namespace tarnwick
