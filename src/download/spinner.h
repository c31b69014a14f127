#pragma once

namespace tarnwick {

// The progress spinner: '/', '-', '\\', '|' in turn, each followed by a
// backspace so that the next one overwrites it. The position is kept for
// the whole process.
extern int spinnerIndex;

// Prints the next spinner character and a backspace, flushes standard
// output so the operator sees it move, and advances spinnerIndex.
void advanceSpinner();

}  // namespace tarnwick
