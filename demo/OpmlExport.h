// `vxrss-demo --export-opml`: the news service's configuration as an OPML feed list on standard output.
#pragma once

#include "demo/DemoOptions.h"

namespace demo {

int ExportOpml(const DemoOptions& options);

}  // namespace demo
