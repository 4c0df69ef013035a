// IRSSNewsData and CRSSNewsDataMgr: the user's selection of news category IDs and its settings file,
// RSSNewsSetting.xml. One store per process, reached through VXRSS::GetRSSNewsDataMgr().
#pragma once

#include <vector>

#include "module/VxRssExport.h"
#include "port/CString.h"

class VXRSS_API IRSSNewsData {
 public:
  IRSSNewsData() = default;
  IRSSNewsData(const IRSSNewsData&) = default;
  IRSSNewsData& operator=(const IRSSNewsData&) = default;

  virtual int Save() = 0;
  virtual int Load() = 0;
  virtual int InitFolderPath(const CString& strFolder) = 0;
  virtual int SetRSSNewsSels(const std::vector<CString>& vecSels) = 0;
  virtual void GetRSSNewsSels(std::vector<CString>& vecSels) = 0;
  virtual CString GetRSSNewsSels() const = 0;

 protected:
  ~IRSSNewsData() = default;
};

class VXRSS_API CRSSNewsDataMgr : public IRSSNewsData {
 public:
  static constexpr const char* kFileName = "RSSNewsSetting.xml";

  CRSSNewsDataMgr() = default;
  CRSSNewsDataMgr(const CRSSNewsDataMgr& other);
  CRSSNewsDataMgr& operator=(const CRSSNewsDataMgr& other);
  ~CRSSNewsDataMgr() = default;

  static CRSSNewsDataMgr& Instance();

  int Save() override;
  int Load() override;
  int InitFolderPath(const CString& strFolder) override;
  int SetRSSNewsSels(const std::vector<CString>& vecSels) override;
  void GetRSSNewsSels(std::vector<CString>& vecSels) override;
  CString GetRSSNewsSels() const override;

  void SetAuthorizedExch(bool bAuthorized) { m_bAuthorizedExch = bAuthorized; }
  bool GetAuthorizedExch() const { return m_bAuthorizedExch; }
  const CString& GetFilePath() const { return m_strFilePath; }
  void swap(CRSSNewsDataMgr& other);

 private:
  int SaveXML();
  int ParserRSSNewsXML(const CString& strPath);
  void FindRSSNewsAry(const CString& strText);

  std::vector<CString> m_vecRSSNewsSels;
  CString m_strRSSNewsItems;
  CString m_strFilePath;
  bool m_bAuthorizedExch = false;
};

namespace VXRSS {
VXRSS_API CRSSNewsDataMgr& GetRSSNewsDataMgr();
}  // namespace VXRSS
