// A C++ host over the installed headers: consumer DATA_FOLDER. A view receives its symbol's announcement
// through the C++ layer, and a failure comes back as vxrss::Error.
#include <cstdio>
#include <string>

#include "vxrss/vxrss.hpp"

namespace {

class SymbolView : public vxrss::NewsView {
 public:
  void OnSymbolHeadlineChange(const std::string&, const std::string& symbolId, std::int32_t) override {
    m_symbol = symbolId;
  }
  std::string m_symbol;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string userRoot = std::string(argv[1]) + "/User";
  vxrss_open_options options{};
  options.config_root = argv[1];
  options.user_root = userRoot.c_str();
  options.authorized = 1;
  vxrss::Session session(options);
  SymbolView view;
  {
    vxrss::Watch watch = session.WatchSymbols(view, "2330");
    watch.Total();
  }
  try {
    session.Content(vxrss::Headline{"NO-SUCH-PROVIDER"});
    return 1;
  } catch (const vxrss::Error& e) {
    if (e.status() != VXRSS_E_FAILED) return 1;
  }
  std::printf("consumer of vxRSS %s: %s\n", vxrss::Session::Version().c_str(), view.m_symbol.c_str());
  return view.m_symbol == "2330" ? 0 : 1;
}
