// Conversion between the module's Big5 text, UTF-8 and the other encodings that files and feeds declare.
// iconv on POSIX, MultiByteToWideChar/WideCharToMultiByte on Windows. UTF-8 is the Unicode form that
// crosses this interface on every platform.
#pragma once

#include <filesystem>
#include <string>

#include "port/CString.h"

namespace port {

// Decodes `bytes` written in `encoding` (an IANA name as XML declarations give it: "big5", "utf-8",
// "gb2312", "iso-8859-1", ...; case-insensitive) into UTF-8. False for an unknown encoding or bytes that
// are not valid in it.
bool DecodeToUtf8(const std::string& bytes, const std::string& encoding, std::string& utf8);

// Encodes UTF-8 text into `encoding`; a character the target lacks becomes "?". False for an unknown
// encoding or input that is not valid UTF-8.
bool EncodeFromUtf8(const std::string& utf8, const std::string& encoding, std::string& bytes);

// The module's own text: Big5 <-> UTF-8, with "?" for what Big5 lacks.
CString Big5FromUtf8(const std::string& utf8);
std::string Utf8FromBig5(const CString& big5);

// A path the module holds, for std::filesystem and for libraries that take UTF-8 file names (SQLite, through
// u8string()). On Windows the module's paths are in the system's ANSI code page, which the port's file calls
// read; the standard library would read a narrow name in another code page and name another file.
std::filesystem::path FileSystemPath(const CString& path);

}  // namespace port
