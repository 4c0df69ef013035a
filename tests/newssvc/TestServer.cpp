#include "tests/newssvc/TestServer.h"

#include <atomic>
#include <future>
#include <sstream>
#include <thread>

#include "libs/newssvc/http/HttpClient.h"

namespace newssvc_test {

std::string ReceivedRequest::Header(const std::string& lowerCaseName) const {
  const auto it = headers.find(lowerCaseName);
  return it == headers.end() ? std::string() : it->second;
}

TestServer::TestServer() : m_baseUrl(LaunchTestServer(m_inProcess)) {
  static std::atomic<int> counter{0};
  m_run = "r" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
          std::to_string(counter++);
}

TestServer::~TestServer() = default;

std::string TestServer::Url(const std::string& name) const { return m_baseUrl + "/s/" + m_run + "/" + name; }

std::vector<ReceivedRequest> TestServer::Received(const std::string& name) const {
  std::promise<std::string> answer;
  std::future<std::string> list = answer.get_future();
  const std::unique_ptr<newssvc::IHttpClient> client = newssvc::MakeHttpClient(newssvc::HttpLimits());
  client->Start({m_baseUrl + "/received/" + m_run, {}},
                [&answer](newssvc::HttpResponse response) { answer.set_value(response.body); });
  if (list.wait_for(std::chrono::seconds(10)) != std::future_status::ready) return {};
  std::vector<ReceivedRequest> received;
  std::istringstream lines(list.get());
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    ReceivedRequest request;
    std::string field;
    std::getline(fields, field, '\t');
    request.atMs = std::stoll(field);
    std::getline(fields, request.path, '\t');
    while (std::getline(fields, field, '\t')) {
      const std::size_t colon = field.find(": ");
      if (colon != std::string::npos) request.headers[field.substr(0, colon)] = field.substr(colon + 2);
    }
    const bool wanted = name.empty() || (request.path.size() > name.size() &&
                                         request.path.compare(request.path.size() - name.size() - 1, std::string::npos,
                                                              "/" + name) == 0);
    if (wanted) received.push_back(std::move(request));
  }
  return received;
}

bool TestServer::WaitForCount(int count, const std::string& name, std::chrono::seconds timeout) const {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (Count(name) < count) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

}  // namespace newssvc_test
