// Content-Encoding: gzip and deflate bodies inflated with zlib, bounded by the size of what comes out, so a
// small body that would expand past the bound (a "gzip bomb") is refused after reading no more than the
// bound. Platform-free.
#pragma once

#include <cstddef>
#include <string>

namespace newssvc {

enum class DecodeResult { kOk, kTooLarge, kCorrupt, kUnknownEncoding };

// Decodes `body` sent with this Content-Encoding (empty or "identity": as it is) into `out`, at most
// `maxBytes` of it.
DecodeResult DecodeContent(const std::string& encoding, const std::string& body, std::size_t maxBytes,
                           std::string& out);

}  // namespace newssvc
