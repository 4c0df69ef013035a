#include <new>
#include <string>
#include <utility>

#include "libs/vxutil/XMLHelper.h"
#include "port/CodePage.h"
#include "port/FileReplace.h"
#include "port/Path.h"
#include "settings/RSSNewsData.h"

namespace {

const char kIdSeparator = ',';
const char kDeclaration[] = "<?xml version='1.0' encoding='big5' ?>\n";
const char kElementStart[] = "<RSSNews RSSNewsItems=\"";
const char kElementEnd[] = "\" />";
const char kRootPath[] = "/RSSNews";
const char kItemsAttribute[] = "RSSNewsItems";
const char kEncoding[] = "big5";  // as the declaration names it

CString Join(const std::vector<CString>& ids) {
  CString joined;
  for (std::size_t i = 0; i < ids.size(); ++i) {
    joined += ids[i];
    if (i + 1 < ids.size()) joined += kIdSeparator;
  }
  return joined;
}

// Whether the file can carry the joined IDs so that the next Load gives them back byte for byte: no control
// byte (XML holds few of them, and line ends would come back as blanks), and Big5 that survives the
// reader's conversion to Unicode and back (not every byte pair is a character, and a few characters have
// two codes of which the conversion keeps one).
bool FileCanCarry(const std::string& joined) {
  for (const char c : joined) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return false;
  }
  std::string unicode;
  return port::DecodeToUtf8(joined, kEncoding, unicode) && port::Big5FromUtf8(unicode).str() == joined;
}

// The text as it may stand inside a double-quoted attribute: markup characters become character
// references, and so do tab, LF and CR, which a reader would otherwise turn into blanks. No Big5 trail byte
// falls in this set, so escaping byte by byte never splits a character.
std::string EscapeAttribute(const std::string& text) {
  struct Reference {
    char c;
    const char* text;
  };
  static const Reference kReferences[] = {{'"', "&quot;"}, {'<', "&lt;"},   {'>', "&gt;"},  {'&', "&amp;"},
                                          {'\t', "&#9;"},  {'\n', "&#10;"}, {'\r', "&#13;"}};
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const Reference* found = nullptr;
    for (const Reference& r : kReferences)
      if (r.c == c) found = &r;
    if (found != nullptr)
      out += found->text;
    else
      out += c;
  }
  return out;
}

}  // namespace

CRSSNewsDataMgr::CRSSNewsDataMgr(const CRSSNewsDataMgr& other)
    : IRSSNewsData(other),
      m_vecRSSNewsSels(other.m_vecRSSNewsSels),
      m_strRSSNewsItems(other.m_strRSSNewsItems),
      m_strFilePath(other.m_strFilePath),
      m_bAuthorizedExch(other.m_bAuthorizedExch) {}

CRSSNewsDataMgr& CRSSNewsDataMgr::operator=(const CRSSNewsDataMgr& other) {
  CRSSNewsDataMgr copy(other);
  swap(copy);
  return *this;
}

void CRSSNewsDataMgr::swap(CRSSNewsDataMgr& other) {
  using std::swap;
  swap(m_vecRSSNewsSels, other.m_vecRSSNewsSels);
  swap(m_strRSSNewsItems, other.m_strRSSNewsItems);
  swap(m_strFilePath, other.m_strFilePath);
  swap(m_bAuthorizedExch, other.m_bAuthorizedExch);
}

CRSSNewsDataMgr& CRSSNewsDataMgr::Instance() {
  static CRSSNewsDataMgr store;
  return store;
}

int CRSSNewsDataMgr::InitFolderPath(const CString& strFolder) {
  if (strFolder.IsEmpty()) return 0;
  m_strFilePath = port::JoinPath(strFolder, kFileName);
  return 1;
}

int CRSSNewsDataMgr::SetRSSNewsSels(const std::vector<CString>& vecSels) {
  // "," separates the IDs in the joined text and the file, so an ID holding one could never be read back.
  for (const CString& id : vecSels)
    if (id.Find(kIdSeparator) >= 0) return 0;
  try {
    std::vector<CString> sels(vecSels);
    CString joined = Join(sels);
    if (!FileCanCarry(joined.str())) return 0;
    m_vecRSSNewsSels.swap(sels);
    m_strRSSNewsItems = std::move(joined);
    return 1;
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

void CRSSNewsDataMgr::GetRSSNewsSels(std::vector<CString>& vecSels) { vecSels = m_vecRSSNewsSels; }

CString CRSSNewsDataMgr::GetRSSNewsSels() const { return m_strRSSNewsItems; }

int CRSSNewsDataMgr::Save() {
  try {
    return SaveXML();
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

int CRSSNewsDataMgr::Load() {
  try {
    return ParserRSSNewsXML(m_strFilePath);
  } catch (const std::bad_alloc&) {
    m_vecRSSNewsSels.clear();
    m_strRSSNewsItems.Empty();
    return 0;
  }
}

// The file is replaced as a whole (see port/FileReplace.h): a crash, a power loss or a full disk leaves the
// previous selection whole instead of a truncated one.
int CRSSNewsDataMgr::SaveXML() {
  if (m_strFilePath.IsEmpty()) return 0;
  const std::string bytes =
      kDeclaration + (kElementStart + EscapeAttribute(Join(m_vecRSSNewsSels).str())) + kElementEnd;
  return port::ReplaceFileContents(m_strFilePath, bytes) ? 1 : 0;
}

int CRSSNewsDataMgr::ParserRSSNewsXML(const CString& strPath) {
  if (strPath.IsEmpty()) return 0;
  m_vecRSSNewsSels.clear();
  CXMLDocument doc;
  if (CXMLHelper::ParseXMLFile(strPath, doc) == 0) return 0;
  const CXMLElement* root = doc.SelectSingleNode(kRootPath);
  if (root == nullptr) return 0;
  std::string items;
  if (!root->GetAttribute(kItemsAttribute, items)) {
    m_strRSSNewsItems.Empty();
    return 0;
  }
  m_strRSSNewsItems = port::Big5FromUtf8(items);
  FindRSSNewsAry(m_strRSSNewsItems);
  return 1;
}

void CRSSNewsDataMgr::FindRSSNewsAry(const CString& strText) {
  if (strText.IsEmpty()) return;
  m_vecRSSNewsSels.clear();
  // One pass over the bytes: "," lies below every Big5 trail byte, so each one found separates two IDs.
  const std::string& text = strText.str();
  std::size_t start = 0;
  for (std::size_t comma = text.find(kIdSeparator); comma != std::string::npos;
       comma = text.find(kIdSeparator, start)) {
    m_vecRSSNewsSels.emplace_back(text.substr(start, comma - start));
    start = comma + 1;
  }
  m_vecRSSNewsSels.emplace_back(text.substr(start));
}

namespace VXRSS {

CRSSNewsDataMgr& GetRSSNewsDataMgr() { return CRSSNewsDataMgr::Instance(); }

}  // namespace VXRSS
