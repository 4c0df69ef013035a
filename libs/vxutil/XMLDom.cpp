#include <algorithm>

#include "libs/vxutil/XMLHelper.h"

CXMLElement& CXMLElement::AppendChild(std::unique_ptr<CXMLElement> child) {
  m_childTextOffsets.push_back(text.size());
  children.push_back(std::move(child));
  return *children.back();
}

bool CXMLElement::GetAttribute(const std::string& qualifiedName, std::string& value) const {
  for (const auto& attribute : attributes) {
    if (attribute.first == qualifiedName) {
      value = attribute.second;
      return true;
    }
  }
  return false;
}

const CXMLElement* CXMLElement::FirstChild(const std::string& localName, const char* nsUri) const {
  for (const auto& child : children)
    if (child->localName == localName && (nsUri == nullptr || child->nsUri == nsUri)) return child.get();
  return nullptr;
}

std::string CXMLElement::AllText() const {
  std::string out;
  AppendAllText(out);
  return out;
}

void CXMLElement::AppendAllText(std::string& out) const {
  std::size_t textDone = 0;
  for (std::size_t i = 0; i < children.size(); ++i) {
    // A child added without AppendChild has no recorded place; it counts as coming after all the text.
    const std::size_t at = i < m_childTextOffsets.size() ? m_childTextOffsets[i] : text.size();
    out.append(text, textDone, at - textDone);
    textDone = at;
    children[i]->AppendAllText(out);
  }
  out.append(text, textDone, std::string::npos);
}

std::string CXMLElement::InnerMarkup() const {
  std::string out;
  AppendInnerMarkup(out);
  return out;
}

namespace {

void AppendEscaped(const std::string& text, std::size_t from, std::size_t to, std::string& out) {
  while (from < to) {
    const std::size_t special = std::min(text.find_first_of("&<\"", from), to);
    out.append(text, from, special - from);
    if (special < to) out += text[special] == '&' ? "&amp;" : text[special] == '<' ? "&lt;" : "&quot;";
    from = special + 1;
  }
}

}  // namespace

void CXMLElement::AppendInnerMarkup(std::string& out) const {
  std::size_t textDone = 0;
  for (std::size_t i = 0; i < children.size(); ++i) {
    const std::size_t at = i < m_childTextOffsets.size() ? m_childTextOffsets[i] : text.size();
    AppendEscaped(text, textDone, at, out);
    textDone = at;
    const CXMLElement& child = *children[i];
    out += '<' + child.localName;
    for (const auto& attribute : child.attributes) {
      out += ' ' + attribute.first + "=\"";
      AppendEscaped(attribute.second, 0, attribute.second.size(), out);
      out += '"';
    }
    out += '>';
    child.AppendInnerMarkup(out);
    out += "</" + child.localName + '>';
  }
  AppendEscaped(text, textDone, text.size(), out);
}

const CXMLElement* CXMLDocument::SelectSingleNode(const std::string& path) const {
  if (path.size() < 2 || path[0] != '/' || !root) return nullptr;
  const CXMLElement* node = nullptr;
  std::size_t start = 1;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string step = path.substr(start, end - start);
    if (step.empty()) return nullptr;
    if (node == nullptr) {
      node = root->name == step ? root.get() : nullptr;
    } else {
      const CXMLElement* next = nullptr;
      for (const auto& child : node->children) {
        if (child->name == step) {
          next = child.get();
          break;
        }
      }
      node = next;
    }
    if (node == nullptr) return nullptr;
    start = end + 1;
  }
  return node;
}
