#include "libs/newssvc/source/http/ContentDecoding.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>

#include "port/Text.h"

namespace newssvc {

namespace {
using port::Lower;

// zlib's stream, ended whatever way the inflation ends.
class CInflater {
 public:
  explicit CInflater(int windowBits) { m_ok = inflateInit2(&m_stream, windowBits) == Z_OK; }
  ~CInflater() {
    if (m_ok) inflateEnd(&m_stream);
  }
  CInflater(const CInflater&) = delete;
  CInflater& operator=(const CInflater&) = delete;

  DecodeResult Run(const std::string& in, std::size_t maxBytes, std::string& out) {
    if (!m_ok) return DecodeResult::kCorrupt;
    out.clear();
    m_stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    m_stream.avail_in = static_cast<uInt>(in.size());
    char chunk[64 * 1024];
    for (;;) {
      m_stream.next_out = reinterpret_cast<Bytef*>(chunk);
      m_stream.avail_out = sizeof chunk;
      const int status = inflate(&m_stream, Z_NO_FLUSH);
      const std::size_t produced = sizeof chunk - m_stream.avail_out;
      if (out.size() + produced > maxBytes) return DecodeResult::kTooLarge;
      out.append(chunk, produced);
      if (status == Z_STREAM_END) return DecodeResult::kOk;
      if (status != Z_OK && !(status == Z_BUF_ERROR && produced > 0)) return DecodeResult::kCorrupt;
      if (m_stream.avail_in == 0 && produced == 0) return DecodeResult::kCorrupt;  // truncated
    }
  }

 private:
  z_stream m_stream{};
  bool m_ok = false;
};

}  // namespace

DecodeResult DecodeContent(const std::string& encoding, const std::string& body, std::size_t maxBytes,
                           std::string& out) {
  const std::string name = Lower(encoding);
  if (name.empty() || name == "identity") {
    if (body.size() > maxBytes) return DecodeResult::kTooLarge;
    out = body;
    return DecodeResult::kOk;
  }
  if (name == "gzip" || name == "x-gzip") return CInflater(16 + MAX_WBITS).Run(body, maxBytes, out);
  if (name == "deflate") {
    // "deflate" means a zlib stream, but some servers send raw deflate: try the zlib form first.
    const DecodeResult zlibForm = CInflater(MAX_WBITS).Run(body, maxBytes, out);
    if (zlibForm != DecodeResult::kCorrupt) return zlibForm;
    return CInflater(-MAX_WBITS).Run(body, maxBytes, out);
  }
  return DecodeResult::kUnknownEncoding;
}

}  // namespace newssvc
