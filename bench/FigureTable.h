// The table every benchmark program ends with: one row per figure, its bound and whether it holds.
#pragma once

#include <string>
#include <vector>

namespace bench {

struct Figure {
  std::string what;
  double value;
  double bound;  // the figure holds when value <= bound
  std::string unit;
  std::string detail;  // the measurements behind the figure, on this machine
};

// printf-style text of two numbers, for a figure's detail.
std::string Format(const char* format, double a, double b);

// Prints the table, numbering the rows from `first`; true when every figure is within its bound.
bool PrintFigures(int first, const std::vector<Figure>& figures);

}  // namespace bench
