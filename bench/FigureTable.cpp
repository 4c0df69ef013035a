#include "bench/FigureTable.h"

#include <cstdio>

namespace bench {

std::string Format(const char* format, double a, double b) {
  char text[160];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

bool PrintFigures(int first, const std::vector<Figure>& figures) {
  bool allWithin = true;
  std::printf("\n| # | figure | measured | bound | | example (this machine) |\n|---|---|---|---|---|---|\n");
  int n = first;
  for (const Figure& f : figures) {
    const bool within = f.value <= f.bound;
    allWithin = allWithin && within;
    std::printf("| %d | %s | %.2f %s | <= %g %s | %s | %s |\n", n++, f.what.c_str(), f.value, f.unit.c_str(), f.bound,
                f.unit.c_str(), within ? "ok" : "OUT", f.detail.c_str());
  }
  return allWithin;
}

}  // namespace bench
