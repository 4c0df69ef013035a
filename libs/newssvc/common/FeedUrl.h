// Resolution of a relative reference against a base (RFC 3986, section 5): the links feeds give relative to
// xml:base, and the Location of a redirect relative to the URL asked for.
#pragma once

#include <string>

namespace newssvc {

// `reference` resolved against `base`. With an empty base the reference is returned as it is.
std::string ResolveUrl(const std::string& base, const std::string& reference);

// Whether the text starts with http:// or https:// (scheme in any case).
bool IsHttpUrl(const std::string& text);

// Whether `url` is an absolute http or https URL (scheme in any case) with a host: the only kind of place the
// service fetches from a feed list or a redirect, or hands to a reader as a headline's link.
bool IsWebUrl(const std::string& url);

// `reference` resolved against `base` when the result is a web URL (above); empty otherwise.
std::string ResolveWebUrl(const std::string& base, const std::string& reference);

}  // namespace newssvc
