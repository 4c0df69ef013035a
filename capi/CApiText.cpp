// Text at the C interface's boundary, the thread's last error, and the lists of headlines.
#include <algorithm>
#include <cstring>

#include "capi/CApiInternal.h"
#include "news/HeadlineBlocks.h"
#include "port/CodePage.h"
#include "port/HostPath.h"

namespace vxrss_capi {

namespace {

thread_local std::string t_lastError;

bool IsAscii(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// A NUL-terminated field of a fixed-size record, which may lack its NUL when the field is full.
std::string Field(const char* field, std::size_t size) { return std::string(field, strnlen(field, size)); }

}  // namespace

void OutText::Convert(const CString& text) {
  m_converted = port::Utf8FromBig5(text);
  m_pText = m_converted.c_str();
}

bool InText(const char* text, vxrss_text_encoding encoding, CString& out) {
  std::string bytes(text ? text : "");
  if (encoding == VXRSS_TEXT_UTF8 && !IsAscii(bytes)) {
    std::string big5;
    if (!port::EncodeFromUtf8(bytes, "big5", big5)) return false;
    bytes = std::move(big5);
  }
  out = CString(std::move(bytes));
  return true;
}

bool InPath(const char* path, vxrss_text_encoding encoding, CString& out) {
  if (encoding == VXRSS_TEXT_ANSI) {
    out = CString(path ? path : "");
    return true;
  }
  return port::PathFromUtf8(path ? path : "", out);
}

char* NewHostText(const std::string& text) {
  char* copy = new char[text.size() + 1];
  std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

vxrss_status Fail(vxrss_status status, const std::string& text) {
  t_lastError = text;
  return status;
}

std::unique_ptr<vxrss_list> ListFromHeadlines(std::vector<NewsHeadline>& vecHeadline, vxrss_text_encoding encoding,
                                              bool snippets) {
  struct BlocksFreed {
    std::vector<NewsHeadline>& list;
    ~BlocksFreed() { FreeHeadlineBlocks(list); }
  } freed{vecHeadline};
  auto list = std::make_unique<vxrss_list>();
  list->texts.reserve(vecHeadline.size());
  for (const NewsHeadline& h : vecHeadline) {
    // The block holds the title, NUL, then the link, NUL, then a search's snippet, NUL.
    const char* title = h.pBlock ? static_cast<const char*>(h.pBlock) : "";
    const char* link = h.pBlock ? title + std::strlen(title) + 1 : "";
    const char* snippet = h.pBlock && snippets ? link + std::strlen(link) + 1 : "";
    const auto host = [encoding](const std::string& text) { return OutText(CString(text), encoding).Take(); };
    list->texts.push_back({host(Field(h.szProviderID, sizeof h.szProviderID)), host(title), host(link),
                           host(Field(h.szReserved, sizeof h.szReserved)), Field(h.szDate, sizeof h.szDate),
                           Field(h.szTime, sizeof h.szTime), host(snippet)});
  }
  list->items.reserve(vecHeadline.size());
  for (std::size_t i = 0; i < vecHeadline.size(); ++i) {
    const vxrss_list::Texts& t = list->texts[i];
    list->items.push_back({t.providerID.c_str(), t.title.c_str(), t.link.c_str(), t.symbols.c_str(), t.date.c_str(),
                           t.time.c_str(), vecHeadline[i].lKey1, vecHeadline[i].lKey2});
  }
  return list;
}

}  // namespace vxrss_capi

using vxrss_capi::Fail;

extern "C" {

vxrss_status VXRSS_CALL vxrss_version(const char** version) {
  if (!version) return Fail(VXRSS_E_ARGUMENT, "vxrss_version: version is null");
  *version = VXRSS_VERSION;
  return VXRSS_OK;
}

vxrss_status VXRSS_CALL vxrss_last_error(const char** text) {
  if (!text) return VXRSS_E_ARGUMENT;
  *text = vxrss_capi::t_lastError.c_str();
  return VXRSS_OK;
}

vxrss_status VXRSS_CALL vxrss_text_free(char* text) {
  delete[] text;
  return VXRSS_OK;
}

vxrss_status VXRSS_CALL vxrss_list_count(const vxrss_list* list, size_t* count) {
  if (!list || !count) return Fail(VXRSS_E_ARGUMENT, "vxrss_list_count: list or count is null");
  *count = list->items.size();
  return VXRSS_OK;
}

vxrss_status VXRSS_CALL vxrss_list_item(const vxrss_list* list, size_t index, vxrss_headline* item) {
  if (!list || !item) return Fail(VXRSS_E_ARGUMENT, "vxrss_list_item: list or item is null");
  if (index >= list->items.size()) return Fail(VXRSS_E_RANGE, "vxrss_list_item: index beyond the list");
  *item = list->items[index];
  return VXRSS_OK;
}

vxrss_status VXRSS_CALL vxrss_list_snippet(const vxrss_list* list, size_t index, const char** snippet) {
  if (!list || !snippet) return Fail(VXRSS_E_ARGUMENT, "vxrss_list_snippet: list or snippet is null");
  if (index >= list->texts.size()) return Fail(VXRSS_E_RANGE, "vxrss_list_snippet: index beyond the list");
  *snippet = list->texts[index].snippet.c_str();
  return VXRSS_OK;
}

vxrss_status VXRSS_CALL vxrss_list_free(vxrss_list* list) {
  std::unique_ptr<vxrss_list> owned(list);
  return VXRSS_OK;
}

}  // extern "C"
