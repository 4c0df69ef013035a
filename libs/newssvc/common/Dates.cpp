#include "libs/newssvc/common/Dates.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <vector>

#include "port/Text.h"

namespace newssvc {

using port::Lower;
using port::Trim;

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's days_from_civil).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// Splits at spaces, commas and tabs; empty pieces are dropped.
std::vector<std::string> Tokens(const std::string& text) {
  std::vector<std::string> tokens;
  std::string current;
  for (const char c : text) {
    if (c == ' ' || c == ',' || c == '\t' || c == '\r' || c == '\n') {
      if (!current.empty()) tokens.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) tokens.push_back(current);
  return tokens;
}

// The whole text as a decimal number; false when it is empty, holds anything else or overflows. Feeds are
// hostile input, so nothing here may throw.
bool ToInt(const std::string& text, int& value) {
  const char* const end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

bool AllDigits(const std::string& text) {
  if (text.empty()) return false;
  for (const char c : text)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

int MonthFromName(const std::string& name) {
  static const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                        "jul", "aug", "sep", "oct", "nov", "dec"};
  const std::string lower = Lower(name);
  if (lower.size() < 3) return 0;
  for (int i = 0; i < 12; ++i)
    if (lower.compare(0, 3, kMonths[i]) == 0) return i + 1;
  return 0;
}

bool AllLetters(const std::string& text) {
  for (const char c : text)
    if (!std::isalpha(static_cast<unsigned char>(c))) return false;
  return !text.empty();
}

}  // namespace

bool ParseNumericZone(const std::string& text, int& offset) {
  if (text.size() < 2 || (text[0] != '+' && text[0] != '-')) return false;
  std::string digits;
  for (std::size_t i = 1; i < text.size(); ++i) {
    if (text[i] == ':') continue;
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    digits += text[i];
  }
  int hours = 0, minutes = 0;
  if (digits.size() == 4) {
    if (!ToInt(digits.substr(0, 2), hours) || !ToInt(digits.substr(2), minutes)) return false;
  } else if (digits.size() > 2 || !ToInt(digits, hours)) {
    return false;
  }
  if (hours > 23 || minutes > 59) return false;
  offset = (text[0] == '-' ? -1 : 1) * (hours * 3600 + minutes * 60);
  return true;
}

namespace {

// Zone names of RFC 822 and the ones feeds use besides them.
bool NamedZone(const std::string& text, int& offset) {
  struct Zone {
    const char* name;
    int hours;
  };
  static const Zone kZones[] = {{"ut", 0},   {"utc", 0},  {"gmt", 0},  {"z", 0},    {"est", -5}, {"edt", -4},
                                {"cst", -6}, {"cdt", -5}, {"mst", -7}, {"mdt", -6}, {"pst", -8}, {"pdt", -7},
                                {"cet", 1},  {"cest", 2}, {"bst", 1},  {"jst", 9},  {"hkt", 8},  {"awst", 8}};
  const std::string lower = Lower(text);
  for (const Zone& zone : kZones) {
    if (lower == zone.name) {
      offset = zone.hours * 3600;
      return true;
    }
  }
  // "GMT+8", "UTC-05:00"
  if ((lower.rfind("gmt", 0) == 0 || lower.rfind("utc", 0) == 0) && lower.size() > 3)
    return ParseNumericZone(lower.substr(3), offset);
  return false;
}

bool ParseClock(const std::string& text, int& hour, int& minute, int& second) {
  int parts[3] = {0, 0, 0};
  int count = 0;
  std::string digits;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == ':') {
      if (digits.size() > 2 || count == 3 || !ToInt(digits, parts[count])) return false;
      ++count;
      digits.clear();
    } else if (std::isdigit(static_cast<unsigned char>(text[i]))) {
      digits += text[i];
    } else {
      return false;
    }
  }
  if (count < 2) return false;
  hour = parts[0];
  minute = parts[1];
  second = parts[2];
  return hour <= 24 && minute <= 59 && second <= 60;
}

bool ValidDate(int year, int month, int day) {
  static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return year >= 1900 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 && day <= kDays[month - 1];
}

// RFC 822: [weekday,] day month year hh:mm[:ss] [zone]. Feeds also swap day and month ("Mar 21 2020"),
// drop the zone, or append a zone comment. RFC 850 joins day, month and year with dashes ("06-Nov-94"),
// asctime puts the year after the time ("Nov  6 08:49:37 1994").
bool ParseRfc822(const std::string& text, UtcSeconds& utc) {
  std::vector<std::string> tokens = Tokens(text);
  // A weekday, in whatever language the feed writes it ("Sat", "mer", "Donnerstag"), says nothing more.
  if (!tokens.empty() && AllLetters(tokens.front()) && MonthFromName(tokens.front()) == 0) tokens.erase(tokens.begin());
  if (tokens.empty()) return false;
  std::string date = tokens.front();
  std::replace(date.begin(), date.end(), '-', ' ');
  const std::vector<std::string> dateParts = Tokens(date);
  tokens.erase(tokens.begin());
  tokens.insert(tokens.begin(), dateParts.begin(), dateParts.end());
  if (tokens.size() < 3) return false;
  if (tokens.size() > 3 && tokens[2].find(':') != std::string::npos && AllDigits(tokens[3]))
    std::swap(tokens[2], tokens[3]);
  int day = 0, month = 0;
  if (AllDigits(tokens[0]) && (month = MonthFromName(tokens[1])) != 0) {
    if (!ToInt(tokens[0], day)) return false;
  } else if ((month = MonthFromName(tokens[0])) != 0 && AllDigits(tokens[1])) {
    if (!ToInt(tokens[1], day)) return false;
  } else {
    return false;
  }
  int year = 0;
  if (!AllDigits(tokens[2]) || tokens[2].size() > 4 || !ToInt(tokens[2], year)) return false;
  if (tokens[2].size() <= 2) year += year < 50 ? 2000 : 1900;  // two-digit years, as RFC 2822 reads them
  int hour = 0, minute = 0, second = 0, offset = 0;
  if (tokens.size() > 3 && !ParseClock(tokens[3], hour, minute, second)) return false;
  if (tokens.size() > 4 && (Lower(tokens[4]) == "am" || Lower(tokens[4]) == "pm")) {  // a 12-hour clock
    if (hour < 1 || hour > 12) return false;
    hour = hour % 12 + (Lower(tokens[4]) == "pm" ? 12 : 0);
    tokens.erase(tokens.begin() + 4);
  }
  if (tokens.size() > 4 && !ParseNumericZone(tokens[4], offset) && !NamedZone(tokens[4], offset)) {
    // An unknown military or local zone name is read as UTC, as RFC 2822 asks for unknown zones.
    offset = 0;
  }
  if (!ValidDate(year, month, day)) return false;
  utc = FromCivil(year, month, day, hour, minute, second) - offset;
  return true;
}

bool ReadNumber(const std::string& text, std::size_t& pos, std::size_t width, int& value) {
  if (pos + width > text.size()) return false;
  value = 0;
  for (std::size_t i = 0; i < width; ++i) {
    const char c = text[pos + i];
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    value = value * 10 + (c - '0');
  }
  pos += width;
  return true;
}

bool Expect(const std::string& text, std::size_t& pos, const char* choices) {
  if (pos < text.size() && std::strchr(choices, text[pos]) != nullptr) {
    ++pos;
    return true;
  }
  return false;
}

// RFC 3339 / ISO 8601: YYYY-MM-DD[(T| )hh:mm[:ss[.frac]]][Z|+hh:mm]. A date without a zone is UTC.
bool ParseRfc3339(const std::string& raw, UtcSeconds& utc) {
  std::size_t pos = 0;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, offset = 0;
  if (!ReadNumber(raw, pos, 4, year) || !Expect(raw, pos, "-") || !ReadNumber(raw, pos, 2, month) ||
      !Expect(raw, pos, "-") || !ReadNumber(raw, pos, 2, day))
    return false;
  if (Expect(raw, pos, "Tt ")) {
    if (!ReadNumber(raw, pos, 2, hour) || !Expect(raw, pos, ":") || !ReadNumber(raw, pos, 2, minute)) return false;
    if (Expect(raw, pos, ":") && !ReadNumber(raw, pos, 2, second)) return false;
    if (Expect(raw, pos, ".,"))
      while (pos < raw.size() && std::isdigit(static_cast<unsigned char>(raw[pos]))) ++pos;
    if (pos < raw.size() && !Expect(raw, pos, "Zz")) {
      if (!ParseNumericZone(raw.substr(pos), offset)) return false;
      pos = raw.size();
    }
  }
  if (pos != raw.size() || !ValidDate(year, month, day) || hour > 24 || minute > 59 || second > 60) return false;
  utc = FromCivil(year, month, day, hour, minute, second) - offset;
  return true;
}

}  // namespace

bool ParseFeedDate(const std::string& text, UtcSeconds& utc) {
  const std::string trimmed = Trim(text);
  if (trimmed.empty() || trimmed.size() > 64) return false;
  return ParseRfc3339(trimmed, utc) || ParseRfc822(trimmed, utc);
}

UtcSeconds FromCivil(int year, int month, int day, int hour, int minute, int second) {
  return DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 + hour * 3600 +
         minute * 60 + second;
}

CivilTime ToCivil(UtcSeconds utc, int offsetSeconds) {
  const std::int64_t local = utc + offsetSeconds;
  std::int64_t days = local / 86400;
  std::int64_t rest = local % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  // civil_from_days (Howard Hinnant).
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
  CivilTime civil{};
  civil.year = static_cast<int>(y);
  civil.month = static_cast<int>(m);
  civil.day = static_cast<int>(d);
  civil.hour = static_cast<int>(rest / 3600);
  civil.minute = static_cast<int>(rest % 3600 / 60);
  civil.second = static_cast<int>(rest % 60);
  return civil;
}

}  // namespace newssvc
