#pragma once

namespace tarnwick {

// --color: whether the human views colour the states.
enum class ColorMode { Auto, Always, Never };

}  // namespace tarnwick
