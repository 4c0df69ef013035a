#include "tests/win32/PngFile.h"

#include <algorithm>
#include <array>
#include <fstream>

namespace win32test {

namespace {

std::uint32_t Crc32(const std::string& bytes) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  std::uint32_t crc = 0xFFFFFFFFu;
  for (const char byte : bytes) crc = table[(crc ^ static_cast<std::uint8_t>(byte)) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

std::uint32_t Adler32(const std::string& bytes) {
  std::uint32_t a = 1;
  std::uint32_t b = 0;
  for (const char byte : bytes) {
    a = (a + static_cast<std::uint8_t>(byte)) % 65521;
    b = (b + a) % 65521;
  }
  return (b << 16) | a;
}

void PutBigEndian(std::string& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
}

std::string Chunk(const char* type, const std::string& data) {
  std::string body = std::string(type, 4) + data;
  std::string chunk;
  PutBigEndian(chunk, static_cast<std::uint32_t>(data.size()));
  chunk += body;
  PutBigEndian(chunk, Crc32(body));
  return chunk;
}

// A zlib stream of stored deflate blocks (at most 65535 bytes each).
std::string StoredZlib(const std::string& raw) {
  std::string out("\x78\x01", 2);
  std::size_t at = 0;
  do {
    const std::size_t length = std::min<std::size_t>(65535, raw.size() - at);
    const bool last = at + length == raw.size();
    out += static_cast<char>(last ? 1 : 0);
    out += static_cast<char>(length & 0xFF);
    out += static_cast<char>(length >> 8);
    out += static_cast<char>(~length & 0xFF);
    out += static_cast<char>((~length >> 8) & 0xFF);
    out.append(raw, at, length);
    at += length;
  } while (at < raw.size());
  PutBigEndian(out, Adler32(raw));
  return out;
}

}  // namespace

bool WritePng(const std::string& path, const RgbImage& image) {
  const std::size_t rowBytes = static_cast<std::size_t>(image.width) * 3;
  if (image.width <= 0 || image.height <= 0 || image.rgb.size() != rowBytes * image.height) return false;
  std::string header;
  PutBigEndian(header, static_cast<std::uint32_t>(image.width));
  PutBigEndian(header, static_cast<std::uint32_t>(image.height));
  header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits per channel, RGB, no interlace
  std::string raw;
  for (int y = 0; y < image.height; ++y) {
    raw += '\0';  // no filter
    raw.append(reinterpret_cast<const char*>(image.rgb.data()) + y * rowBytes, rowBytes);
  }
  std::ofstream file(path, std::ios::binary);
  file << std::string("\x89PNG\r\n\x1A\n", 8) << Chunk("IHDR", header) << Chunk("IDAT", StoredZlib(raw))
       << Chunk("IEND", std::string());
  return static_cast<bool>(file);
}

}  // namespace win32test
