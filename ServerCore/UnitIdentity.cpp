#include "ServerCore/UnitIdentity.h"

#include "Corvana/Version.h"
#include "ModbusCore/JSONFields.h"
#include "ModbusCore/ModbusCodes.h"

#include <nlohmann/json.hpp>

namespace {

// The standard's object IDs of read device identification.
enum ObjectID : std::uint8_t {
    vendorNameObject = 0x00,
    productCodeObject = 0x01,
    revisionObject = 0x02,
    vendorURLObject = 0x03,
    productNameObject = 0x04,
    modelNameObject = 0x05,
    userApplicationNameObject = 0x06,
};

// Cuts a text to at most length bytes without splitting a UTF-8 sequence.
std::string cut(std::string text, std::size_t length) {
    if (text.size() <= length) {
        return text;
    }
    while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) {
        --length;
    }
    text.resize(length);
    return text;
}

std::string hexDigits(ByteView bytes) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    for (const auto byte : bytes) {
        text += digits[byte >> 4];
        text += digits[byte & 0x0F];
    }
    return text;
}

std::optional<std::string> objectText(const nlohmann::json& object, std::string_view key) {
    auto text = JSONFields::optionalString(object, key);
    if (text && text->size() > UnitIdentity::maxObjectLength) {
        throw DecodingError("\"" + std::string(key) + "\" is longer than " +
                            std::to_string(UnitIdentity::maxObjectLength) + " bytes");
    }
    return text;
}

} // namespace

const std::vector<std::uint8_t>& supportedFunctionCodes() {
    static const std::vector<std::uint8_t> codes = [] {
        std::vector<std::uint8_t> all;
        for (const auto code : FunctionCode::allCases()) {
            all.push_back(code.rawValue());
        }
        return all;
    }();
    return codes;
}

FunctionSet allSupportedFunctions() {
    FunctionSet set;
    for (const auto code : supportedFunctionCodes()) {
        set.set(code);
    }
    return set;
}

std::string UnitIdentity::defaultAdditionalData() {
    return "Corvana " + std::string(corvanaVersion);
}

std::string UnitIdentity::defaultRevision() {
    return std::string(corvanaVersion);
}

nlohmann::json UnitIdentity::toJSON() const {
    const UnitIdentity defaults;
    nlohmann::json json = nlohmann::json::object();
    if (serverID) {
        json["serverID"] = hexDigits(*serverID);
    }
    const auto text = [&](const char* key, const std::string& value, const std::string& initial) {
        if (value != initial) {
            json[key] = value;
        }
    };
    if (runIndicator != defaults.runIndicator) {
        json["runIndicator"] = runIndicator;
    }
    text("additionalData", additionalData, defaults.additionalData);
    if (exceptionStatus != defaults.exceptionStatus) {
        json["exceptionStatus"] = exceptionStatus;
    }
    text("vendorName", vendorName, defaults.vendorName);
    text("productCode", productCode, defaults.productCode);
    text("revision", revision, defaults.revision);
    text("vendorURL", vendorURL, defaults.vendorURL);
    text("productName", productName, defaults.productName);
    if (modelName) {
        json["modelName"] = *modelName;
    }
    text("userApplicationName", userApplicationName, defaults.userApplicationName);
    if (!privateObjects.empty()) {
        nlohmann::json objects = nlohmann::json::object();
        for (const auto& [id, value] : privateObjects) {
            objects[std::to_string(id)] = value;
        }
        json["privateObjects"] = std::move(objects);
    }
    return json;
}

UnitIdentity UnitIdentity::fromJSON(const nlohmann::json& json) {
    using namespace JSONFields;
    const auto& object = requireObject(json, "identity");
    UnitIdentity identity;
    if (auto hex = optionalString(object, "serverID")) {
        identity.serverID = bytesFromHex(*hex);
        if (!identity.serverID) {
            throw DecodingError("\"serverID\" '" + *hex + "' is not hex text of whole bytes");
        }
    }
    identity.runIndicator = optionalBool(object, "runIndicator").value_or(identity.runIndicator);
    identity.additionalData =
        optionalString(object, "additionalData").value_or(identity.additionalData);
    const std::size_t idLength = identity.serverID ? identity.serverID->size() : 1;
    if (idLength + 1 + identity.additionalData.size() > maxServerIDData) {
        throw DecodingError("\"serverID\" and \"additionalData\" are longer than " +
                            std::to_string(maxServerIDData - 1) + " bytes together");
    }
    identity.exceptionStatus = static_cast<std::uint8_t>(
        optionalInteger(object, "exceptionStatus", 0, 255).value_or(identity.exceptionStatus));
    identity.vendorName = objectText(object, "vendorName").value_or(identity.vendorName);
    identity.productCode = objectText(object, "productCode").value_or(identity.productCode);
    identity.revision = objectText(object, "revision").value_or(identity.revision);
    identity.vendorURL = objectText(object, "vendorURL").value_or(identity.vendorURL);
    identity.productName = objectText(object, "productName").value_or(identity.productName);
    identity.modelName = objectText(object, "modelName");
    identity.userApplicationName =
        objectText(object, "userApplicationName").value_or(identity.userApplicationName);
    if (object.contains("privateObjects") && !object.at("privateObjects").is_null()) {
        const auto& objects = requireObject(object.at("privateObjects"), "privateObjects");
        for (const auto& [key, value] : objects.items()) {
            std::size_t used = 0;
            int id = -1;
            try {
                id = std::stoi(key, &used);
            } catch (const std::exception&) {
                used = 0;
            }
            if (used != key.size() || id < firstPrivateObject || id > 0xFF ||
                std::to_string(id) != key) {
                throw DecodingError("private object \"" + key + "\" is not a number 128–255");
            }
            auto text = objectText(objects, key);
            if (!text) {
                throw DecodingError("private object \"" + key + "\" has no text");
            }
            identity.privateObjects[static_cast<std::uint8_t>(id)] = std::move(*text);
        }
    }
    return identity;
}

ServedIdentity serve(const UnitIdentity& identity, std::uint8_t unitID, const std::string& name) {
    ServedIdentity served;
    served.serverID = identity.serverID.value_or(Bytes{unitID});
    served.runIndicator = identity.runIndicator;
    served.additionalData = identity.additionalData;
    served.exceptionStatus = identity.exceptionStatus;
    // The three basic objects are mandatory; the others exist where they have a text.
    served.objects[vendorNameObject] = identity.vendorName;
    served.objects[productCodeObject] = identity.productCode;
    served.objects[revisionObject] = identity.revision;
    const auto optional = [&](std::uint8_t id, const std::string& text) {
        if (!text.empty()) {
            served.objects[id] = text;
        }
    };
    optional(vendorURLObject, identity.vendorURL);
    optional(productNameObject, identity.productName);
    optional(modelNameObject,
             cut(identity.modelName.value_or(name), UnitIdentity::maxObjectLength));
    optional(userApplicationNameObject, identity.userApplicationName);
    for (const auto& [id, text] : identity.privateObjects) {
        served.objects[id] = text;
    }
    return served;
}

std::optional<Bytes> bytesFromHex(std::string_view text) {
    Bytes bytes;
    int pending = -1;
    for (const char c : text) {
        int digit = -1;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else if (c == ' ' && pending < 0) {
            continue;
        } else {
            return std::nullopt;
        }
        if (pending < 0) {
            pending = digit;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(pending * 16 + digit));
            pending = -1;
        }
    }
    if (pending >= 0 || bytes.empty()) {
        return std::nullopt;
    }
    return bytes;
}
