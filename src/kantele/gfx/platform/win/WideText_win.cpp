#include "kantele/gfx/platform/win/WideText_win.h"

#include <climits>
#include <cstring>
#include <cwchar>

namespace kantele {
namespace gfx {

std::wstring Utf8ToWide(const char* text, size_t length) {
  if (!text || length == 0 || length > static_cast<size_t>(INT_MAX)) return std::wstring();
  const int n = static_cast<int>(length);
  const int units = MultiByteToWideChar(CP_UTF8, 0, text, n, nullptr, 0);
  if (units <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(units), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, n, &wide[0], units);
  return wide;
}

std::wstring Utf8ToWide(const char* text) { return Utf8ToWide(text, text ? std::strlen(text) : 0); }

std::string WideToUtf8(const wchar_t* text, size_t length) {
  if (!text || length == 0 || length > static_cast<size_t>(INT_MAX)) return std::string();
  const int n = static_cast<int>(length);
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, n, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::string();
  std::string narrow(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, n, &narrow[0], bytes, nullptr, nullptr);
  return narrow;
}

std::string WideToUtf8(const wchar_t* text) {
  return WideToUtf8(text, text ? std::wcslen(text) : 0);
}

bool CopyWideIfFits(const std::wstring& text, wchar_t* out, size_t capacity) {
  if (text.size() + 1 > capacity) {
    out[0] = L'\0';
    return false;
  }
  std::memcpy(out, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
  return true;
}

}  // namespace gfx
}  // namespace kantele
