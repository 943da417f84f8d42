// The player's own texts. Sources are UTF-8; each shell converts at its edge.
#ifndef SONVALE_APP_TEXTS_H
#define SONVALE_APP_TEXTS_H

#include <string_view>

#include "app/version.h"

namespace sonvale::texts {

// Window caption and tray tip.
inline constexpr std::string_view kTitle = "Sonvale(播放端)";

// Menu labels set at initialisation over the template's English ones.
inline constexpr std::string_view kMenuFile = "文件(&F)";
inline constexpr std::string_view kMenuSetting = "设置(&S)";
inline constexpr std::string_view kMenuExit = "退出(&X)";
inline constexpr std::string_view kMenuHelp = "帮助(&H)";
inline constexpr std::string_view kMenuOnlineHelp = "在线帮助(&O)";
inline constexpr std::string_view kMenuAbout = "关于(&A)";

// The address hint.
inline constexpr std::string_view kAddressLead = "本机IP地址：";
inline constexpr std::string_view kAddressTail = "，请将该地址输入到发送端软件上。";
inline constexpr std::string_view kPortsSentence = "发送端使用TCP端口52166或UDP端口52168。";
inline constexpr std::string_view kNoAddress =
    "本机还没有连接到网络，暂时没有可用的IP地址。连接网络后，地址会显示在这里。";

// About box.
inline constexpr std::string_view kAboutCaption = "关于Sonvale";
inline constexpr std::string_view kAboutVersion = "Sonvale V" SONVALE_VERSION_SHORT;
inline constexpr std::string_view kAboutCopyright = "Copyright (C) 2026 Sonvale";
inline constexpr std::string_view kOk = "确定";
inline constexpr std::string_view kCancel = "取消";

// Settings dialog.
inline constexpr std::string_view kSettingCaption = "设置";
inline constexpr std::string_view kSettingAutorun = "开机自动启动本软件";
inline constexpr std::string_view kSettingMinimize = "启动后自动最小化";

// Help page.
inline constexpr std::string_view kHelpFileName = "sonvale-help.html";
inline constexpr std::string_view kHelpOpenFailed = "无法打开帮助文件：";

inline constexpr std::string_view kAutostartComment = "局域网音频播放端";

}  // namespace sonvale::texts

#endif
