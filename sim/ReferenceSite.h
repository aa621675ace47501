// The shipped reference site (sim/sites/reference.json), built into the
// library so that `sitesim` and the tests need no file to find.
#pragma once

namespace sim {
extern const char* const kReferenceSite;
}
