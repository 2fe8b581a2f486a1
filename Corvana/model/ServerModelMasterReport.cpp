#include "Corvana/model/ProjectFile.h"
#include "Corvana/model/ServerModel.h"

#include <nlohmann/json.hpp>

nlohmann::json ServerModel::masterReport() const {
    return store_->masterReport().toJSON();
}

bool ServerModel::writeMasterReport(const QString& path, QString* reason) const {
    const std::string text = masterReport().dump(2) + '\n';
    return ProjectFile::writeAtomically(path, QByteArray::fromStdString(text), reason);
}
