#include "tests/model/ModelService.h"

namespace {

// splitmix64: a cheap, well-mixed function of one 64-bit value.
uint64_t Mix(uint64_t x) {
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

}  // namespace

int CModelScript::Roll(int index) const {
  return static_cast<int>(Mix(m_stepSeed ^ Mix(static_cast<uint64_t>(index))) % 100);
}

CModelService::CModelService(const CModelScript& script) : m_script(script) {
  // One category with one item, enough for the manager to rebuild its tree.
  m_svc.AddCategory("Market", {{"P1", "Provider one"}});
  m_svc.AnswerWith([this](const std::string& op, const fakes::FakeNewsSvc::Args& args, std::vector<NewsHeadline>* pList,
                          CString* pContent) { return Answer(op, args, pList, pContent); });
}

std::optional<int> CModelService::Answer(const std::string& op, const fakes::FakeNewsSvc::Args& args,
                                         std::vector<NewsHeadline>* pList, CString* pContent) {
  const bool bBook = op == "BookProviderNews" || op == "BookSymbolNews_Date";
  if (bBook || op == "UnbookProviderNews" || op == "UnbookSymbolNews_Date") {
    const std::string key = args.size() == 3 ? "S " + args[0] + ";" + args[1] + ";" + args[2] : "P " + args[0];
    if ((m_net[key] += bBook ? 1 : -1) == 0) m_net.erase(key);
  }
  if (op == "GetCategoryCount") return m_script.CategoryCount();
  if (bBook) return NextRefuses() ? 0 : 1;
  if (op == "UnbookSymbolNews_Date") return NextRefuses() ? 0 : 1;
  if (op == "ReqTotalHeadline") return NextRefuses() ? 1 : 0;
  if (op == "CancelTotalHeadline") return NextRefuses() ? 1 : 0;
  if (pList) {
    // Status 0 with 0 to 2 records (each with its own block), or a refusal.
    if (NextRefuses()) return 1;
    const int count = NextRoll() % 3;
    for (int i = 0; i < count; ++i) pList->push_back(fakes::MakeHeadline({"", "", std::to_string(i)}));
    return 0;
  }
  if (pContent) {
    const int roll = NextRoll();
    *pContent = CString("content-" + std::to_string(roll));
    return roll < 70 ? 0 : roll % 4;
  }
  return std::nullopt;
}
