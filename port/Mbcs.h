// Byte-level rules for the module's multi-byte text (Big5, code page 950).
//
// All text in the module is Big5 whatever the platform's locale: a byte 0x81-0xFE followed by a byte in
// 0x40-0x7E or 0xA1-0xFE forms one double-byte character; every other byte is a character of its own.
//
// Invalid bytes: 0x80, 0xFF, and a lead byte that is not followed by a trail byte (at the end of the text,
// or before any byte outside the trail ranges). Every rule here takes such a byte as a single-byte
// character of its own, with its byte value as its code: it is never folded, never the start of a
// double-byte character, and both comparisons order it by that value. So on text without ASCII letters,
// valid or not, MbsCompareNoCase and MbsCompare agree.
#pragma once

#include <cstddef>
#include <string>

namespace port {

inline bool IsBig5LeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
inline bool IsBig5TrailByte(unsigned char c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0xA1 && c <= 0xFE); }

// Length in bytes (1 or 2) of the character that starts at text[pos]; 0 at or past the end.
std::size_t CharLength(const std::string& text, std::size_t pos);

// Case-sensitive comparison in character-code order. Single-byte characters lie below every lead byte,
// so this is plain unsigned byte order. Result <0, 0 or >0.
int MbsCompare(const std::string& a, const std::string& b);

// Case-insensitive comparison: the unsigned byte order of the two texts as MbsFoldCase folds them. ASCII
// letters of single-byte characters compare as lower case; a double-byte character is compared as it is,
// even when its trail byte lies in the ASCII letter range. On valid text this is character-code order.
int MbsCompareNoCase(const std::string& a, const std::string& b);

// The text with the same folding MbsCompareNoCase applies, so that two texts compare equal ignoring
// case exactly when their folded forms are byte-for-byte equal.
std::string MbsFoldCase(const std::string& text);

// Position of the first occurrence of `needle` in `haystack` that starts on a character boundary at or
// after byte `start`; npos when there is none. An empty needle matches at the first boundary >= start.
std::size_t MbsFind(const std::string& haystack, const std::string& needle, std::size_t start = 0);

// Position of the last character equal to the single-byte character `ch`; npos when there is none.
std::size_t MbsReverseFind(const std::string& haystack, char ch);

}  // namespace port
