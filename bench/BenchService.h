// CBenchService: a news service for the benchmarks that accepts every booking and request and answers
// every headline fetch with one record, so the manager's own work is what gets measured.
#pragma once

#include "libs/newssvc/WTRSSNewsSvc.h"

class CBenchService : public IWTRSSNewsSvc {
 public:
  int Login(IWTRSSNewsSvcEvent*) override { return 1; }
  int Logout(IWTRSSNewsSvcEvent*) override { return 1; }
  int SetSessionInfo(const CString&, const CString&, const CString&) override { return 1; }
  int Connect() override { return 1; }
  int Disconnect() override { return 1; }
  int GetCategoryCount() override { return 1; }
  IRSSNewsCategory* GetCategory(int nIndex) override;
  int BookProviderNews(const CString&) override { return 1; }
  int UnbookProviderNews(const CString&) override { return 1; }
  int GetTotalHeadline(const CString&, std::vector<NewsHeadline>& vecList) override { return OneRecord(vecList); }
  int ReqTotalHeadline(const CString&, int) override { return 0; }
  int CancelTotalHeadline(int) override { return 0; }
  int GetProviderHeadline_Date(const CString&, long, std::vector<NewsHeadline>& vecList) override {
    return OneRecord(vecList);
  }
  int GetNewsContent(const CString&, long, long, CString&) override { return 0; }
  int BookSymbolNews_Date(const CString&, long, const CString&) override { return 1; }
  int UnbookSymbolNews_Date(const CString&, long, const CString&) override { return 1; }
  int GetSymbolHeadline(const CString&, const CString&, std::vector<NewsHeadline>& vecList) override {
    return OneRecord(vecList);
  }
  int GetSymbolHeadline_Date(const CString&, const CString&, long, std::vector<NewsHeadline>& vecList) override {
    return OneRecord(vecList);
  }
  int GetSymbolNewsContent(const CString&, const CString&, long, long, CString&) override { return 0; }
  int SearchHeadline(const CString&, const CString&, const CString&, long, long, int,
                     std::vector<NewsHeadline>&) override {
    return 0;
  }

 private:
  static int OneRecord(std::vector<NewsHeadline>& vecList);
};
