#pragma once

#include "ModbusCore/Simulation.h"

#include <QWidget>

#include <functional>
#include <string_view>

class LiveNumberField;
class QComboBox;
class QFormLayout;
class QLabel;

// Edits one Simulation: its kind, bounds and period, with a description of the chosen kind.
// The content of the table's simulation popup. Numbers are taken when committed; a minimum
// above the maximum or an invalid period is refused with its reason under the form.
class SimulationEditor : public QWidget {
    Q_OBJECT

public:
    explicit SimulationEditor(QWidget* parent = nullptr);

    void setSimulation(const Simulation& simulation, bool isBit);
    const Simulation& simulation() const;

    std::function<void(const Simulation&)> onChange; // every edit

    // The symbol name of a kind: "minus", "number", "chart.line.uptrend.xyaxis", "waveform",
    // "dice", "switch.2".
    static std::string_view symbolName(Simulation::Kind kind);

protected:
    // Closing the popup commits what was typed, as leaving a field does.
    void hideEvent(QHideEvent* event) override;

private:
    void showSimulation();
    void change();
    void refuse(const QString& reason);

    Simulation simulation_;
    bool isBit_ = false;
    QComboBox* kindPicker_;
    LiveNumberField* minimumField_;
    LiveNumberField* maximumField_;
    LiveNumberField* periodField_;
    QFormLayout* form_;
    QLabel* kindDescription_;
    QLabel* problem_;
};
