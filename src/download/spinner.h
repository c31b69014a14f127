#pragma once

namespace tarnwick {

// The progress spinner: '/', '-', '\\', '|' in turn, each followed by a
// backspace so that the next one overwrites it. The position is kept for
// the whole process.
extern int spinnerIndex;

// Prints the next spinner character and a backspace and advances
// spinnerIndex. Standard output is flushed with it when the last such flush
// is 50 ms old or more, so the operator sees it move; characters held back
// go out with the next flush, at the latest with the download's verdict.
void advanceSpinner();

}  // namespace tarnwick
