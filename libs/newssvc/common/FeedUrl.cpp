#include "libs/newssvc/common/FeedUrl.h"

#include <algorithm>

#include "port/Text.h"

namespace newssvc {

using port::Lower;
using port::Trim;

namespace {

struct UrlParts {
  std::string scheme;  // without ':'; empty when none
  bool hasAuthority = false;
  std::string authority;
  std::string path;
  bool hasQuery = false;
  std::string query;
  bool hasFragment = false;
  std::string fragment;
};

bool IsSchemeChar(char c, bool first) {
  const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  return letter || (!first && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
}

UrlParts Split(const std::string& url) {
  UrlParts parts;
  std::size_t at = 0;
  while (at < url.size() && IsSchemeChar(url[at], at == 0)) ++at;
  if (at > 0 && at < url.size() && url[at] == ':') {
    parts.scheme = url.substr(0, at);
    ++at;
  } else {
    at = 0;
  }
  if (url.compare(at, 2, "//") == 0) {
    const std::size_t end = url.find_first_of("/?#", at + 2);
    parts.hasAuthority = true;
    parts.authority = url.substr(at + 2, end == std::string::npos ? std::string::npos : end - at - 2);
    at = end == std::string::npos ? url.size() : end;
  }
  const std::size_t pathEnd = std::min(url.find_first_of("?#", at), url.size());
  parts.path = url.substr(at, pathEnd - at);
  at = pathEnd;
  if (at < url.size() && url[at] == '?') {
    const std::size_t end = std::min(url.find('#', at), url.size());
    parts.hasQuery = true;
    parts.query = url.substr(at + 1, end - at - 1);
    at = end;
  }
  if (at < url.size()) {
    parts.hasFragment = true;
    parts.fragment = url.substr(at + 1);
  }
  return parts;
}

// RFC 3986, 5.2.4.
std::string RemoveDotSegments(std::string in) {
  std::string out;
  while (!in.empty()) {
    if (in.rfind("../", 0) == 0) {
      in.erase(0, 3);
    } else if (in.rfind("./", 0) == 0) {
      in.erase(0, 2);
    } else if (in.rfind("/./", 0) == 0 || in == "/.") {
      in.replace(0, in == "/." ? 2 : 3, "/");
    } else if (in.rfind("/../", 0) == 0 || in == "/..") {
      in.replace(0, in == "/.." ? 3 : 4, "/");
      const std::size_t slash = out.rfind('/');
      out.erase(slash == std::string::npos ? 0 : slash);
    } else if (in == "." || in == "..") {
      in.clear();
    } else {
      const std::size_t next = in.find('/', in[0] == '/' ? 1 : 0);
      out += in.substr(0, next);
      in.erase(0, next == std::string::npos ? in.size() : next);
    }
  }
  return out;
}

std::string Join(const UrlParts& parts) {
  std::string url;
  if (!parts.scheme.empty()) url += parts.scheme + ":";
  if (parts.hasAuthority) url += "//" + parts.authority;
  url += parts.path;
  if (parts.hasQuery) url += "?" + parts.query;
  if (parts.hasFragment) url += "#" + parts.fragment;
  return url;
}

}  // namespace

std::string ResolveUrl(const std::string& base, const std::string& reference) {
  if (base.empty()) return reference;
  const UrlParts ref = Split(reference);
  const UrlParts baseParts = Split(base);
  UrlParts target = ref;
  if (ref.scheme.empty()) target.scheme = baseParts.scheme;
  if (!ref.scheme.empty() || ref.hasAuthority) {
    target.path = RemoveDotSegments(ref.path);
  } else {
    target.hasAuthority = baseParts.hasAuthority;
    target.authority = baseParts.authority;
    if (ref.path.empty()) {
      target.path = baseParts.path;
      if (!ref.hasQuery) {
        target.hasQuery = baseParts.hasQuery;
        target.query = baseParts.query;
      }
    } else if (ref.path[0] == '/') {
      target.path = RemoveDotSegments(ref.path);
    } else {
      // RFC 3986, 5.2.3: the reference replaces the base path's last segment.
      const std::size_t slash = baseParts.path.rfind('/');
      const std::string merged =
          baseParts.hasAuthority && baseParts.path.empty()
              ? "/" + ref.path
              : (slash == std::string::npos ? "" : baseParts.path.substr(0, slash + 1)) + ref.path;
      target.path = RemoveDotSegments(merged);
    }
  }
  return Join(target);
}

bool IsWebUrl(const std::string& url) {
  const UrlParts parts = Split(url);
  const std::string scheme = Lower(parts.scheme);
  const std::string hostAndPort = parts.authority.substr(parts.authority.rfind('@') + 1);
  return (scheme == "http" || scheme == "https") && !hostAndPort.empty() && hostAndPort[0] != ':';
}

std::string ResolveWebUrl(const std::string& base, const std::string& reference) {
  std::string url = ResolveUrl(base, reference);
  return IsWebUrl(url) ? url : std::string();
}

bool IsHttpUrl(const std::string& text) {
  const std::string head = Lower(text.substr(0, 8));
  return head.rfind("http://", 0) == 0 || head.rfind("https://", 0) == 0;
}

}  // namespace newssvc
