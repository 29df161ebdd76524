#include "scalino/QtUiExecutor.h"

namespace scalino {

QtUiExecutor::QtUiExecutor() = default;

void QtUiExecutor::post(std::function<void()> step) {
    QMetaObject::invokeMethod(&context_, std::move(step), Qt::QueuedConnection);
}

}  // namespace scalino
