// Resolution of a relative link against a base (RFC 3986, section 5), for the links feeds give relative to
// xml:base.
#pragma once

#include <string>

namespace newssvc {

// `reference` resolved against `base`. A reference with a scheme of its own, or an empty base, is returned
// as it is.
std::string ResolveUrl(const std::string& base, const std::string& reference);

}  // namespace newssvc
