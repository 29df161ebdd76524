#pragma once

#include <QObject>
#include <QString>

#include "config/Config.h"

class QWidget;

namespace scalino {

// The settings object's property changes as a Qt signal, for as long as this object lives.
class ConfigSignals : public QObject {
    Q_OBJECT
public:
    ConfigSignals(Config& config, QObject* parent = nullptr);
    ~ConfigSignals() override;

    // Enables the widget while a number instrument is selected and disables it while a text
    // instrument (a barcode scanner) is: number processing cannot be edited for text.
    void followInstrumentType(QWidget* widget);

signals:
    // "NUMBER" or "TEXT" after the instrument changed.
    void propertyChange(const QString& propertyName);

private:
    Config& config_;
    Config::ListenerId listener_;
};

}  // namespace scalino
