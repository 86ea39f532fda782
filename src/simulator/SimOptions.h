// Command line of halvex-sim.
#pragma once

#include <string>
#include <vector>

#include "HalvexStation.h"

namespace halvex::sim {

struct SimCommandLine {
    StationOptions Station;
    std::string LinkPath; // symbolic link to the device, made at start and removed at exit
    bool Help = false;
};

// Throws std::invalid_argument with a message naming the faulty option.
SimCommandLine ParseSimCommandLine(const std::vector<std::string>& arguments);
std::string SimUsage();

} // namespace halvex::sim
