#pragma once

#include <QWidget>

class QComboBox;
class QLabel;
class QPushButton;
class ServerModel;

// The frame popover's form: data bits, parity and stop bits of the model's serial settings, and
// the Modbus default. It follows the model live and locks while the server is not stopped.
class SerialSettingsView : public QWidget {
    Q_OBJECT

public:
    explicit SerialSettingsView(ServerModel& model, QWidget* parent = nullptr);

protected:
    void changeEvent(QEvent* event) override;

private:
    void updateSelection();
    void updateState();
    // The virtual port's note shows only while it is chosen.
    void updateVirtualNote();
    void updateFooterColour();
    // Writes one field of a copy of the model's settings back to the model.
    template <class Change>
    void change(Change change);

    ServerModel& model_;
    QComboBox* dataBitsPicker_;
    QComboBox* parityPicker_;
    QComboBox* stopBitsPicker_;
    QPushButton* modbusDefaultButton_;
    QLabel* footer_;
    QLabel* virtualNote_;
};
