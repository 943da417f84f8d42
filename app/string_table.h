// The string resources, for shells that have no resource compiler. The Windows
// build reads the same texts from its .rc string table.
#ifndef SONVALE_APP_STRING_TABLE_H
#define SONVALE_APP_STRING_TABLE_H

#include <string_view>

#include "res/resource.h"

namespace sonvale {

constexpr std::string_view StringResource(int id)
{
    switch (id) {
    case IDS_ABOUTBOX: return "About Sonvale(&A)...";
    case IDP_SOCKETS_INIT_FAILED: return "Windows 套接字初始化失败。";
    default: return {};
    }
}

}  // namespace sonvale

#endif
