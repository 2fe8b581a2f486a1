#include "Corvana/model/ProjectFile.h"
#include "Corvana/model/ServerModel.h"

#include <nlohmann/json.hpp>

nlohmann::json ServerModel::masterReport() const {
    nlohmann::json report = store_->masterReport().toJSON();
    // The serial line's report stays at the top, as before; each listener of the last start
    // adds its own under its transport's name.
    for (const Transport transport : reportedTransports_) {
        report["network"][std::string(rawValue(transport))] =
            store_->masterReport(transport).toJSON();
    }
    return report;
}

void ServerModel::resetMasterReport() {
    for (const Transport transport : {Transport::serial, Transport::tcp, Transport::rtuOverTCP}) {
        store_->masterReport(transport).reset();
    }
}

bool ServerModel::writeMasterReport(const QString& path, QString* reason) const {
    const std::string text = masterReport().dump(2) + '\n';
    return ProjectFile::writeAtomically(path, QByteArray::fromStdString(text), reason);
}
