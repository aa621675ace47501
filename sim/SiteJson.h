// The site file: a JSON description of a site (documented in sim/README.md).
// The loader refuses anything the devices could not send or the program
// could not read, naming the place: "site.json: devices[2].parameters[4].max:
// 1200 is above the scale 1000".
#pragma once

#include "SiteModel.h"

#include <string>

namespace sim {

// Throws ESimError.
TSiteConfig ParseSite(const std::string& text, const std::string& origin = "site");
TSiteConfig LoadSiteFile(const std::string& path);

} // namespace sim
