// The scripted answers of the HTTP test server, one scenario per file name, so that the same server serves
// the tests in process (Linux) and from a process of its own (the Windows build under Wine). A request for
// /s/RUN/NAME is answered by NAME's scenario; `index` counts the earlier requests for the same path, so a
// scenario can change its answer over time and every test run (RUN) starts afresh.
#pragma once

#include <httplib.h>

#include <atomic>
#include <string>

namespace newssvc_test {

// The server is shutting down: long-running answers (the drip) end when this turns true.
void AnswerScenario(const std::string& name, int index, const httplib::Request& request, httplib::Response& response,
                    const std::atomic<bool>& stopping);

}  // namespace newssvc_test
