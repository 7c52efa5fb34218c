#pragma once

#include <QString>

// The maker's web site and shop site. Compile-time defaults, overridden at run time by the
// environment variables VORN_SITE_URL and VORN_SHOP_URL.
namespace Site {

inline constexpr auto VersionFilePath = "/Soft/VORN/LastVersion.txt";
inline constexpr auto InstallerPath = "/Soft/VORN/setup-VORN.exe";
inline constexpr auto SettingsHelpPath = "/software/software-settings.html";
inline constexpr auto SoftwareListPath = "/Soft/soft-list2.pdf";

QString webSite();  // without a trailing "/"
QString shopSite(); // without a trailing "/"
QString host();     // the web site's host name, for contact lines

// The web site followed by a path that begins with "/".
QString address(const char* path);

} // namespace Site
