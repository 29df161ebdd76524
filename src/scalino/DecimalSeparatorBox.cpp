#include "scalino/DecimalSeparatorBox.h"

#include "scalino/ConfigSignals.h"
#include "scalino/PanelForm.h"

namespace scalino {

DecimalSeparatorBox::DecimalSeparatorBox(const Config& config, ConfigSignals& configSignals,
                                         QWidget* parent)
    : QComboBox(parent) {
    setObjectName("decimalSeparatorBox");
    using ConfigHelper::DecimalSeparator;
    for (DecimalSeparator value : ConfigHelper::values<DecimalSeparator>())
        addItem(toQString(ConfigHelper::toString(value)));
    selectConstant(this, config.getDecimalSeparator());
    configSignals.followInstrumentType(this);
}

}  // namespace scalino
