// The one error type of the simulator: refused input (a site file, a fault
// list, a command line), with the place that was refused.
#pragma once

#include <stdexcept>
#include <string>

namespace sim {

class ESimError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace sim
