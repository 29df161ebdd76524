#include "scalino/ConfigSignals.h"

#include <QWidget>

#include "config/Instrument.h"
#include "scalino/QtText.h"

namespace scalino {

ConfigSignals::ConfigSignals(Config& config, QObject* parent) : QObject(parent), config_(config) {
    listener_ = config_.addPropertyChangeListener([this](const PropertyChangeEvent& event) {
        emit propertyChange(toQString(event.propertyName));
    });
}

ConfigSignals::~ConfigSignals() {
    config_.removePropertyChangeListener(listener_);
}

void ConfigSignals::followInstrumentType(QWidget* widget) {
    using namespace ConfigHelper;
    const Instrument instrument = config_.getInstrument().value_or(getDefault<Instrument>());
    widget->setEnabled(getInstrumentType(instrument) == InstrumentType::NUMBER);
    connect(this, &ConfigSignals::propertyChange, widget, [widget](const QString& name) {
        if (name == "NUMBER") {
            widget->setEnabled(true);
        } else if (name == "TEXT") {
            widget->setEnabled(false);
        }
    });
}

}  // namespace scalino
