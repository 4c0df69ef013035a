// A news service that answers only the category questions the settings dialog asks: groups of
// (item ID, item name) pairs, with null objects where the service has none. It counts Release calls.
#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "libs/newssvc/WTRSSNewsSvc.h"

class FakeCategory : public IRSSNewsCategory {
 public:
  FakeCategory(CString name, std::vector<std::pair<CString, CString>> items)
      : m_name(std::move(name)), m_items(std::move(items)) {}

  void Release() override { ++releases; }
  CString GetName() override { return m_name; }
  int GetItemCount() override { return static_cast<int>(m_items.size()); }
  CString GetItemID(int index) override { return m_items.at(static_cast<std::size_t>(index)).first; }
  CString GetItemName(int index) override { return m_items.at(static_cast<std::size_t>(index)).second; }

  int releases = 0;

 private:
  CString m_name;
  std::vector<std::pair<CString, CString>> m_items;
};

class FakeCategoryService : public IWTRSSNewsSvc {
 public:
  // Adds a group; a null group stands for an index at which the service gives no object.
  FakeCategory* Add(CString name, std::vector<std::pair<CString, CString>> items) {
    m_categories.push_back(std::make_unique<FakeCategory>(std::move(name), std::move(items)));
    return m_categories.back().get();
  }
  void AddMissing() { m_categories.push_back(nullptr); }

  int GetCategoryCount() override { return static_cast<int>(m_categories.size()); }
  IRSSNewsCategory* GetCategory(int nIndex) override { return m_categories.at(static_cast<std::size_t>(nIndex)).get(); }

  // Nothing else is asked of the service by the dialog.
  int Login(IWTRSSNewsSvcEvent*) override { return 0; }
  int Logout(IWTRSSNewsSvcEvent*) override { return 0; }
  int SetSessionInfo(const CString&, const CString&, const CString&) override { return 0; }
  int Connect() override { return 0; }
  int Disconnect() override { return 0; }
  int BookProviderNews(const CString&) override { return 0; }
  int UnbookProviderNews(const CString&) override { return 0; }
  int GetTotalHeadline(const CString&, std::vector<NewsHeadline>&) override { return 0; }
  int ReqTotalHeadline(const CString&, int) override { return 0; }
  int CancelTotalHeadline(int) override { return 0; }
  int GetProviderHeadline_Date(const CString&, long, std::vector<NewsHeadline>&) override { return 0; }
  int GetNewsContent(const CString&, long, long, CString&) override { return 0; }
  int BookSymbolNews_Date(const CString&, long, const CString&) override { return 0; }
  int UnbookSymbolNews_Date(const CString&, long, const CString&) override { return 0; }
  int GetSymbolHeadline(const CString&, const CString&, std::vector<NewsHeadline>&) override { return 0; }
  int GetSymbolHeadline_Date(const CString&, const CString&, long, std::vector<NewsHeadline>&) override { return 0; }
  int GetSymbolNewsContent(const CString&, const CString&, long, long, CString&) override { return 0; }

 private:
  std::vector<std::unique_ptr<FakeCategory>> m_categories;
};
