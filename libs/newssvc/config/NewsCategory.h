// CNewsCategory: one category group handed out by GetCategory. The receiver calls Release when done,
// which destroys the object. Immutable after it is made, so any host thread may read it.
#pragma once

#include "libs/newssvc/WTRSSNewsSvc.h"
#include "libs/newssvc/config/ServiceConfig.h"

namespace newssvc {

class CNewsCategory final : public IRSSNewsCategory {
 public:
  // A new object owned by the receiver until its Release.
  static IRSSNewsCategory* Create(CategoryGroup group);

  explicit CNewsCategory(CategoryGroup group) : m_group(std::move(group)) {}
  ~CNewsCategory() = default;

  void Release() override;
  CString GetName() override { return m_group.name; }
  int GetItemCount() override { return static_cast<int>(m_group.providers.size()); }
  CString GetItemID(int index) override;
  CString GetItemName(int index) override;

 private:
  const ProviderConfig* Item(int index) const;

  const CategoryGroup m_group;
};

}  // namespace newssvc
