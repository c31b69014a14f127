#pragma once

#include <string>

namespace tarnwick {

// The Linux build speaks of COM numbers as the Windows build does, and maps
// them to USB serial ttys by one fixed, reversible rule:
//   ttyUSB<k>  <->  COM<k + 1>     for k = 0 .. 99   (COM1 .. COM100)
//   ttyACM<k>  <->  COM<k + 101>   for k = 0 .. 99   (COM101 .. COM200)
// Any other name has no COM number, and any other number no tty.

// The tty name ("ttyUSB0") for a COM number; empty when there is none.
std::string ttyNameForComNumber(int comNumber);

// The COM number for a tty name; 0 when the name has none.
int comNumberForTtyName(const std::string& ttyName);

}  // namespace tarnwick
