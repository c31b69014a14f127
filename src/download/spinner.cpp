#include "download/spinner.h"

#include <cstdio>

namespace tarnwick {

int spinnerIndex = 0;

void advanceSpinner() {
  static const char kSpinnerCharacters[] = {'/', '-', '\\', '|'};
  std::printf("%c\b", kSpinnerCharacters[spinnerIndex]);
  std::fflush(stdout);
  spinnerIndex = (spinnerIndex + 1) % 4;
}

}  // namespace tarnwick
