#pragma once

#include <QWidget>

#include <functional>
#include <string>
#include <vector>

#include "config/Config.h"
#include "worker/WeightWorker.h"

class QComboBox;
class QPushButton;

namespace scalino {

class UiExecutor;

// The input tab: the port, the instrument, the serial parameters and the input terminator,
// with the buttons for port detection, the instrument's defaults, a new port list and the
// custom expression. Every call is made on the GUI thread.
class InputPanel : public QWidget {
    Q_OBJECT
public:
    // listPorts reads the port list again for the refresh button.
    InputPanel(Config& config, UiExecutor& executor, PortOpener portOpener,
               std::function<std::vector<std::string>()> listPorts, QWidget* parent = nullptr);

    // The ports to offer, by their friendly names where the driver knows them; the stored port
    // is selected when it is among them, otherwise the first entry stays.
    void setPorts(std::vector<std::string> ports);
    const std::vector<std::string>& ports() const { return ports_; }
    // Selects a port by its plain name; false when the list does not have it.
    bool selectPort(const std::string& portName);
    // Stores the port, the instrument, the serial parameters and the terminator.
    void gather();

signals:
    // The panel has a problem to show (a terminator that is not a character code).
    void showRequested();

private:
    void buildControls();
    void fillFromConfig();
    void instrumentChanged(int index);
    // A serial parameter's list position; none while the list is empty.
    void storePosition(int index, void (Config::*set)(int));
    // Stores the terminator the box shows; false (with the error) for a text that is none.
    bool storeInputTerminator();
    void applyDefaults();
    void refreshPorts();
    void detectPort();
    void customizeExpression();

    Config& config_;
    UiExecutor& executor_;
    PortOpener portOpener_;
    std::function<std::vector<std::string>()> listPorts_;
    std::vector<std::string> ports_;
    int instrumentIndex_ = -1;
    QComboBox* portList_;
    QComboBox* instrumentBox_;
    QComboBox* bitRateBox_;
    QComboBox* dataBitsBox_;
    QComboBox* stopBitsBox_;
    QComboBox* parityBox_;
    QComboBox* inputTerminatorBox_;
};

}  // namespace scalino
