#include "scalino/UpdateUrl.h"

#include <QHostAddress>

#include "scalino/QtText.h"
#include "util/ProcessProperties.h"

namespace scalino {
namespace {

bool isLoopbackHost(const QString& host) {
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

}  // namespace

QString chosenUpdateUrl() {
    const auto configured = ProcessProperties::get("UPDATE_URL");
    if (configured && !configured->empty()) return toQString(*configured);
    return QStringLiteral(SCALINO_UPDATE_URL);
}

bool isPermittedUpdateUrl(const QUrl& url) {
    if (!url.isValid() || url.host().isEmpty() || !url.userInfo().isEmpty()) return false;
    if (url.scheme() == QLatin1String("https")) return true;
    return url.scheme() == QLatin1String("http") && isLoopbackHost(url.host());
}

}  // namespace scalino
