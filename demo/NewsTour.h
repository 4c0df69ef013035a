// The demo's walk through the module: a news manager over the real news service, views registered the
// way a host registers them, the news they can pull, then live updates as the worker delivers them.
#pragma once

#include "demo/DemoOptions.h"

namespace demo {

// Runs the tour; the process exit code: 0 when it ran (and, on the bundled feeds, at least one live
// update arrived), 1 otherwise.
int RunNewsTour(const DemoOptions& options);

}  // namespace demo
