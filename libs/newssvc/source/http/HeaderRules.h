// What the fetcher reads out of response headers. Platform-free.
#pragma once

#include <cstdint>
#include <string>

#include "libs/newssvc/source/http/HttpClient.h"

namespace newssvc {

// Seconds to wait from Retry-After (delta seconds or an HTTP date, against `nowSeconds`); -1 when absent
// or unreadable. A date in the past gives 0.
std::int64_t RetryAfterSeconds(const HttpHeaders& headers, std::int64_t nowSeconds);

// How long the response stays fresh: Cache-Control max-age, else Expires minus Date (or minus
// `nowSeconds` without a Date); -1 when neither is given, 0 for no-cache, no-store or a past date.
std::int64_t FreshnessSeconds(const HttpHeaders& headers, std::int64_t nowSeconds);

// The charset parameter of Content-Type, lower-case and unquoted; empty when none.
std::string ContentTypeCharset(const HttpHeaders& headers);

}  // namespace newssvc
