// vxrss-demo: the news module over the real news service on sample feeds. See DemoOptions.h.
#include <iostream>
#include <string>

#include "demo/DemoOptions.h"
#include "demo/NewsTour.h"
#include "demo/OpmlExport.h"
#include "demo/SettingsMode.h"

int main(int argc, char** argv) {
  DemoOptions options;
  std::string error;
  if (!DemoOptions::Parse(argc, argv, options, error)) {
    std::cerr << error << "\n" << DemoOptions::Usage();
    return 2;
  }
  if (options.exportOpml) return demo::ExportOpml(options);
  return options.settingsMode ? demo::RunSettings(options) : demo::RunNewsTour(options);
}
