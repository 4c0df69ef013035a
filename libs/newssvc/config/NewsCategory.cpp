#include "libs/newssvc/config/NewsCategory.h"

#include <memory>

namespace newssvc {

IRSSNewsCategory* CNewsCategory::Create(CategoryGroup group) {
  return std::make_unique<CNewsCategory>(std::move(group)).release();
}

void CNewsCategory::Release() {
  const std::unique_ptr<CNewsCategory> self(this);  // the interface's ownership rule: Release ends the object
}

CString CNewsCategory::GetItemID(int index) {
  const ProviderConfig* item = Item(index);
  return item ? item->id : CString();
}

CString CNewsCategory::GetItemName(int index) {
  const ProviderConfig* item = Item(index);
  return item ? item->name : CString();
}

const ProviderConfig* CNewsCategory::Item(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= m_group.providers.size()) return nullptr;
  return &m_group.providers[static_cast<std::size_t>(index)];
}

}  // namespace newssvc
