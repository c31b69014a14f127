#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "station/model/station_faults.h"
#include "station/views/output_modes.h"

namespace tarnwick {

// How a state is shown on a terminal that takes colour.
enum class Tone {
  Plain,     // work in progress
  Good,      // PASS, VERIFIED: green
  Bad,       // FAIL, MISMATCH: bold red, a unit to take out
  Caution,   // ABORTED, UNVERIFIED: yellow
  Operator,  // a PASS that waits for the operator's re-plug: green, reverse video
};

// Whether the human views use colour: never when NO_COLOR is set and not
// empty (`noColor`, as the convention says) or with --color never; with
// always, unless a terminal refuses escape codes; with auto, only on a
// terminal that takes them.
bool colourWanted(ColorMode mode, bool terminal, bool escapesTaken, const char* noColor);

// The same for `stream`, asking the system (and turning on a Windows
// console's escape processing).
bool colourWantedOn(ColorMode mode, std::FILE* stream);

// The tone of a state or result word as the views show it ("PASS",
// "FAIL", "PASS, re-plug now", "MISMATCH (duplicate serial)", ...).
Tone toneOfState(const std::string& state);

// A station fault's line: a Warning yellow, an Error or Alarm red.
Tone toneOfFault(FaultSeverity severity);

// `text` in `tone`'s colour, reset after it; unchanged when Plain.
std::string painted(const std::string& text, Tone tone);

// Each line of `text` painted in its tone (`tones[i]` for line i; lines
// past the end stay plain). Unchanged without `colour`.
std::string paintedLines(const std::string& text, const std::vector<Tone>& tones, bool colour);

}  // namespace tarnwick
