#include "Corvana/model/FaultRulePresets.h"

#include "Localization/FaultTexts.h"
#include "ModbusCore/ModbusCodes.h"

namespace FaultRulePresets {
namespace {

constexpr double dropShare = 0.1;
constexpr int badCRCInterval = 5;
constexpr double busySeconds = 3;
constexpr double busyPeriodSeconds = 30;
constexpr int serverDeviceBusy = 6;
// Longer than the 1000 ms most masters wait for a reply.
constexpr int lateReplyMs = 1500;
// Far above the 1.5 character times a receiver allows between bytes at any common baud rate.
constexpr int slowByteGapMs = 10;

} // namespace

FaultRule rule(Preset preset, std::uint8_t unit) {
    using Schedule = FaultRule::Schedule::Kind;
    using Effect = FaultRule::Effect::Kind;
    FaultRule rule;
    rule.name = L10n::Faults::presetName(static_cast<int>(preset));
    switch (preset) {
    case Preset::dropTenPercent:
        rule.schedule.kind = Schedule::probability;
        rule.schedule.probability = dropShare;
        rule.effect.kind = Effect::noResponse;
        break;
    case Preset::everyFifthBadCRC:
        rule.schedule.kind = Schedule::everyNth;
        rule.schedule.n = badCRCInterval;
        rule.effect.kind = Effect::badCRC;
        break;
    case Preset::busyPeriodically:
        rule.schedule.kind = Schedule::periodic;
        rule.schedule.on = busySeconds;
        rule.schedule.period = busyPeriodSeconds;
        rule.effect.kind = Effect::exception;
        rule.effect.code = serverDeviceBusy;
        break;
    case Preset::lateReply:
        rule.effect.kind = Effect::delay;
        rule.effect.ms = lateReplyMs;
        break;
    case Preset::slowBytes:
        rule.effect.kind = Effect::byteDelay;
        rule.effect.ms = slowByteGapMs;
        break;
    case Preset::wrongUnit:
        rule.effect.kind = Effect::wrongUnit;
        rule.effect.unitID = unit >= Modbus::maxUnitAddress ? Modbus::minUnitAddress : unit + 1;
        break;
    }
    return rule;
}

FaultRule emptyRule() {
    FaultRule rule;
    rule.name = L10n::Faults::newRuleName();
    return rule;
}

} // namespace FaultRulePresets
