// `vxrss-demo settings`: the RSS news settings dialog in the terminal; after OK the views reload with the
// new selection.
#pragma once

#include "demo/DemoOptions.h"

namespace demo {

int RunSettings(const DemoOptions& options);

}  // namespace demo
