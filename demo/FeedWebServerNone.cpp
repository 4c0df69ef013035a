// Builds without a web server library: `vxrss-demo --web` reports that it cannot serve.
#include "demo/FeedWebServer.h"

namespace demo {

class FeedWebServer::Impl {};

FeedWebServer::FeedWebServer() = default;
FeedWebServer::~FeedWebServer() = default;
bool FeedWebServer::Start(const std::string&) { return false; }
std::string FeedWebServer::BaseUrl() const { return std::string(); }
WebCounts FeedWebServer::Counts() const { return WebCounts(); }

}  // namespace demo
