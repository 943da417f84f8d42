// UTF-8 (the sources' encoding) to and from the wide strings of the Win32 API.
#ifndef SONVALE_APP_WIN32_UTF_H
#define SONVALE_APP_WIN32_UTF_H

#include <string>
#include <string_view>

namespace sonvale::win32 {

std::wstring Widen(std::string_view text);
std::string Narrow(std::wstring_view text);

}  // namespace sonvale::win32

#endif
