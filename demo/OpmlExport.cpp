#include "demo/OpmlExport.h"

#include <iostream>
#include <string>

#include "libs/newssvc/config/OpmlFeedList.h"
#include "libs/newssvc/config/ServiceConfig.h"
#include "port/Path.h"

namespace demo {

int ExportOpml(const DemoOptions& options) {
  const CString root(options.configRoot.empty() ? std::string(VXRSS_DEMO_DATA) : options.configRoot);
  const CString path = port::JoinPath(port::JoinPath(root, "Config"), "RSSNewsSvc.xml");
  newssvc::ServiceConfig config;
  if (!newssvc::ServiceConfig::Load(path, config)) {
    std::cerr << "cannot read " << path.str() << "\n";
    return 1;
  }
  std::cout << newssvc::ExportOpml(config.groups, "vxRSS news service");
  return 0;
}

}  // namespace demo
