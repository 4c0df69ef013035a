// The table every benchmark program ends with: one row per figure, its bound and whether it holds; and the
// paired measurement the ratio figures are made of.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace bench {

struct Figure {
  std::string what;
  double value = 0;
  double bound = 0;  // the figure holds when value <= bound
  std::string unit;
  std::string detail;      // the measurements behind the figure, on this machine
  std::string fault = {};  // non-empty: the run did not measure what it says (the figure is out whatever its value)
};

// printf-style text of two numbers, for a figure's detail.
std::string Format(const char* format, double a, double b);

// Two legs measured in turns, each call of a leg returning the seconds it measured: a b, b a, a b, ...
// so that neither leg runs in a quieter stretch of a shared machine than the other.
struct Paired {
  double a = 0, b = 0;                 // each leg's median seconds
  double ratio = 0;                    // the median of the pairs' a / b
  double lowRatio = 0, highRatio = 0;  // the spread of the pairs' ratios
};
Paired MeasurePaired(int pairs, const std::function<double()>& a, const std::function<double()>& b);

double Median(std::vector<double> values);

// Whether figure `number` is to be measured: every figure unless VXRSS_FIGURES lists some ("8,10").
bool Selected(int number);

// Prints the table rows of the figures measured, numbered from `first` (figures not selected are nullptr
// entries); true when every one is within its bound.
bool PrintFigures(int first, const std::vector<const Figure*>& figures);
bool PrintFigures(int first, const std::vector<Figure>& figures);

}  // namespace bench
