#include "scalino/LinkRunner.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QTimer>

namespace scalino {

void LinkRunner::start(const QUrl& address, QWidget* parent) {
    auto* runner = new LinkRunner(address, parent);
    QTimer::singleShot(0, runner, [runner] { runner->run(); });
}

LinkRunner::LinkRunner(QUrl address, QWidget* parent) : uri_(std::move(address)), parent_(parent) {}

void LinkRunner::run() {
    if (!QDesktopServices::openUrl(uri_)) {
        QMessageBox::warning(parent_, QString::fromLatin1(kFailureTitle),
                             QString::fromLatin1(kFailureMessage));
    }
    deleteLater();
}

}  // namespace scalino
