#include "Corvana/model/ServerModel.h"

// The network side of the model: the listeners' settings and their clients.

void ServerModel::setNetwork(const NetworkConfiguration& network) {
    if (network == network_) {
        return;
    }
    network_ = network;
    emit networkChanged();
    refresh();
}

std::size_t ServerModel::clientCount(Transport transport) const {
    const auto index = static_cast<std::size_t>(transport);
    return index < clients_.size() ? clients_[index] : 0;
}
