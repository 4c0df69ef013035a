#include "bench/FigureTable.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace bench {

std::string Format(const char* format, double a, double b) {
  char text[160];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

Paired MeasurePaired(int pairs, const std::function<double()>& a, const std::function<double()>& b) {
  std::vector<double> as, bs, ratios;
  for (int i = 0; i < pairs; ++i) {
    double first = 0, second = 0;
    if (i % 2 == 0) {
      first = a();
      second = b();
    } else {
      second = b();
      first = a();
    }
    as.push_back(first);
    bs.push_back(second);
    ratios.push_back(first / second);
  }
  Paired paired;
  paired.a = Median(as);
  paired.b = Median(bs);
  paired.ratio = Median(ratios);
  paired.lowRatio = *std::min_element(ratios.begin(), ratios.end());
  paired.highRatio = *std::max_element(ratios.begin(), ratios.end());
  return paired;
}

bool Selected(int number) {
  const char* list = std::getenv("VXRSS_FIGURES");
  if (!list || !*list) return true;
  std::istringstream in(list);
  std::string item;
  while (std::getline(in, item, ','))
    if (std::atoi(item.c_str()) == number) return true;
  return false;
}

bool PrintFigures(int first, const std::vector<const Figure*>& figures) {
  bool allWithin = true;
  std::printf("\n| # | figure | measured | bound | | example (this machine) |\n|---|---|---|---|---|---|\n");
  int n = first;
  for (const Figure* f : figures) {
    const int number = n++;
    if (!f) continue;
    const bool within = f->fault.empty() && f->value <= f->bound;
    allWithin = allWithin && within;
    std::printf("| %d | %s | %.2f %s | <= %g %s | %s | %s%s%s |\n", number, f->what.c_str(), f->value, f->unit.c_str(),
                f->bound, f->unit.c_str(), within ? "ok" : "OUT", f->detail.c_str(),
                f->fault.empty() ? "" : "; NOT MEASURED AS STATED: ", f->fault.c_str());
  }
  return allWithin;
}

bool PrintFigures(int first, const std::vector<Figure>& figures) {
  std::vector<const Figure*> all;
  for (const Figure& f : figures) all.push_back(&f);
  return PrintFigures(first, all);
}

}  // namespace bench
