#include "core/Site.h"

#include <QUrl>

namespace Site {

namespace {

QString configured(const char* variable, const char* fallback) {
    QString url = qEnvironmentVariable(variable);
    if (url.trimmed().isEmpty())
        url = QString::fromLatin1(fallback);
    while (url.endsWith(QLatin1Char('/')))
        url.chop(1);
    return url;
}

} // namespace

QString webSite() {
    return configured("VORN_SITE_URL", "https://vorn.example.org");
}
QString shopSite() {
    return configured("VORN_SHOP_URL", "https://shop.vorn.example.org");
}
QString host() {
    return QUrl(webSite()).host();
}
QString address(const char* path) {
    return webSite() + QString::fromLatin1(path);
}

} // namespace Site
