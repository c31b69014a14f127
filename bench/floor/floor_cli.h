#pragma once

#include <functional>
#include <string>

#include "floor_session.h"

namespace benchfloor {

// Opens the port named on the command line and gives its transaction, or
// false with `error` set.
using PortOpener =
    std::function<bool(const std::string& port, Transact* transact, std::string* error)>;

// The floor client's command line, shared by both platforms:
//   PROGRAM PORT IMAGE   download IMAGE, print "floor packets=N bytes=N loop_s=S"
//   PROGRAM PORT --at    one AT round trip, print "floor at_s=S"
// Exit status 0 when every command got OK, 1 otherwise, 2 for bad usage.
int floorMain(int argc, char** argv, const PortOpener& open);

}  // namespace benchfloor
