#include "Corvana/model/PortSelection.h"
#include "Corvana/model/ServerModel.h"

#include "Localization/L10n.h"
#include "ModbusSerial/SerialLinkError.h"

bool ServerModel::isVirtualSelected() const {
    return PortSelection::isVirtual(selectedPath().toStdString());
}

bool ServerModel::openVirtualPort(bool reportFailure) {
    if (virtualPort_.isOpen()) {
        return true;
    }
    try {
        virtualPort_.open();
    } catch (const VirtualPortPairError& error) {
        if (reportFailure) {
            reportError(
                L10n::VirtualPort::failed(SerialLinkError::systemText(error.code().value())));
        }
        return false;
    }
    if (!virtualPort_.linkProblem().empty()) {
        const std::string text = L10n::VirtualPort::noLink(
            virtualPort_.intendedLink(), virtualPort_.linkProblem(), virtualPort_.masterPath());
        appendLog({LogSegment{LogSegment::Kind::warning, QString::fromStdString(text)}});
    }
    emit virtualPortChanged();
    return true;
}

QString ServerModel::portForLog() const {
    if (isVirtualSelected()) {
        return QString::fromStdString(L10n::VirtualPort::logName(virtualPort_.masterDescription()));
    }
    return selectedPath();
}
