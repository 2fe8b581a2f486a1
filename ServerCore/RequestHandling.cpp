#include "ServerCore/RequestHandling.h"

#include "ModbusCore/ModbusCodes.h"
#include "ModbusCore/RTUFrame.h"

namespace {

// Gateways name the device behind them with this unit ID; the lowest enabled unit answers.
constexpr std::uint8_t thisDeviceAddress = 255;

// The exception code the master gets, unless a fault makes the answer unreadable.
std::optional<int> exceptionCode(ByteView answer, const FaultRule::Effect* effect) {
    if (effect && effect->kind == FaultRule::Effect::Kind::exception) {
        return effect->code;
    }
    if (const auto code = ExceptionPDU::code(answer)) {
        return *code;
    }
    return std::nullopt;
}

MasterReport::Shaping shapingOf(const FaultRule::Effect* effect) {
    using Kind = FaultRule::Effect::Kind;
    if (!effect || effect->kind == Kind::exception) {
        return MasterReport::Shaping::none;
    }
    return effect->kind == Kind::delay ? MasterReport::Shaping::delayed
                                       : MasterReport::Shaping::damaged;
}

// A CRC that is not sent cannot be damaged: on Modbus TCP the reply goes out intact.
bool carriesCRC(Transport transport) {
    return transport != Transport::tcp;
}

} // namespace

RequestHandling::RequestHandling(std::shared_ptr<RegisterStore> store, Options options,
                                 EventHandler onEvent, std::shared_ptr<SerialClock> clock)
    : store_(std::move(store))
    , options_(options)
    , onEvent_(std::move(onEvent))
    , clock_(clock ? std::move(clock) : SerialClock::system())
    , processor_{store_}
    , report_(store_->masterReport(options.transport)) {}

void RequestHandling::emit(ServerEvent event, const std::string& client) const {
    if (!onEvent_) {
        return;
    }
    if (options_.transport != Transport::serial) {
        event.origin = {options_.transport, client};
    }
    onEvent_(std::move(event));
}

void RequestHandling::countOnBus(bool good) const {
    store_->updateEveryDiagnostics([good](UnitDiagnostics& d, const ServerUnit::Behaviour&) {
        if (good) {
            d.busMessage();
        } else {
            d.communicationError();
        }
    });
}

void RequestHandling::stayedSilent(std::uint8_t unit, std::uint8_t function, bool listenOnly,
                                   bool busy, const std::string& client) const {
    report_.silent(unit, function,
                   listenOnly ? MasterReport::Silence::listenOnly
                   : busy     ? MasterReport::Silence::busy
                              : MasterReport::Silence::fault);
    store_->updateDiagnostics(unit, [](UnitDiagnostics& d) {
        d.stayedSilent();
        return true;
    });
    emit(ServerEvent::silent(unit, listenOnly, busy), client);
}

double RequestHandling::secondsSinceStart() const {
    return std::chrono::duration<double>(clock_->now() - startedAt_).count();
}

std::optional<RequestHandling::Answer> RequestHandling::broadcast(Request& request) {
    // Every enabled unit hears a broadcast and never answers it.
    store_->updateEveryDiagnostics([](UnitDiagnostics& d, const ServerUnit::Behaviour& b) {
        if (b.enabled) {
            d.heard(true);
            d.stayedSilent();
        }
    });
    report_.request(request.unit, request.pdu, request.arrival, MasterReport::Addressee::broadcast);
    auto result = processor_.process(request.pdu, request.unit);
    emit(ServerEvent::broadcast(std::move(request.pdu), std::move(request.frame)), request.client);
    if (!result.writes.empty()) {
        emit(ServerEvent::wrote(std::move(result.writes)), request.client);
    }
    return std::nullopt;
}

std::optional<RequestHandling::Answer> RequestHandling::otherUnit(Request& request) {
    report_.request(request.unit, request.pdu, request.arrival, MasterReport::Addressee::otherUnit);
    const std::uint8_t function = request.pdu[0];
    emit(ServerEvent::otherUnit(request.unit, std::move(request.frame)), request.client);
    if (!options_.gateway) {
        return std::nullopt;
    }
    const Bytes answer =
        ExceptionPDU::make(function, ModbusException::gatewayTargetFailedToRespond);
    return Answer{std::nullopt, request.unit,
                  plan(request, request.unit, answer, std::nullopt, {}, nullptr, 0)};
}

ReplyPlan RequestHandling::plan(const Request& request, std::uint8_t unit, ByteView answer,
                                std::optional<int> requestQuantity, std::chrono::nanoseconds delay,
                                const FaultRule::Effect* effect, std::uint64_t random) {
    Bytes& previous = previousReplies_[unit];
    ReplyPlan plan = ReplyPlan::make(
        {.unit = request.unit,
         .pdu = answer,
         .requestQuantity = requestQuantity,
         .previousFrame = previous,
         .unitDelay = delay,
         .transport = options_.transport,
         .transactionID = request.header ? request.header->transactionID : std::uint16_t{0}},
        effect, random);
    if (effect || plan.chunks.empty()) {
        previous = ReplyPlan::frame(options_.transport, request.unit,
                                    request.header ? request.header->transactionID : 0, answer);
    } else {
        previous = plan.chunks.front().bytes; // reuses the buffer of the unit's last reply
    }
    return plan;
}

std::optional<RequestHandling::Answer> RequestHandling::handle(Request request, bool busy) {
    if (request.unit == Modbus::broadcastAddress) {
        return broadcast(request);
    }
    std::uint8_t unit = request.unit;
    if (options_.lowestUnitAnswersAll && unit == thisDeviceAddress) {
        const auto enabled = store_->enabledUnitIDs();
        if (!enabled.empty()) {
            unit = enabled.front();
        }
    }
    const auto behaviour = store_->behaviour(unit);
    if (!behaviour || !behaviour->enabled) {
        return otherUnit(request);
    }
    const std::uint8_t function = request.pdu[0];
    report_.request(unit, request.pdu, request.arrival, MasterReport::Addressee::served);
    emit(ServerEvent::request(unit, request.pdu, std::move(request.frame)), request.client);
    const bool listening = store_
                               ->updateDiagnostics(unit,
                                                   [](UnitDiagnostics& d) {
                                                       d.heard(false);
                                                       return d.listenOnly;
                                                   })
                               .value_or(false);
    if (busy) {
        stayedSilent(unit, function, false, true, request.client);
        return std::nullopt;
    }

    const FaultRules::RequestShape shape = FaultRules::shapeOf(request.pdu);
    std::optional<RegisterStore::FiredFault> fired;
    if (!listening) {
        fired = store_->fireFaultRule(unit, shape, secondsSinceStart());
    }
    if (fired) {
        emit(ServerEvent::faultFired(unit, fired->index, fired->name, fired->effect),
             request.client);
    }
    const bool dropped = fired && fired->effect.kind == FaultRule::Effect::Kind::noResponse;
    if (dropped && fired->effect.dropRequest) {
        stayedSilent(unit, function, false, false, request.client); // as if never sent
        return std::nullopt;
    }

    Bytes answer;
    // A fired rule takes the place of the unit's own fault for this request.
    const ServerUnit::Fault fault =
        listening || fired ? ServerUnit::Fault(ServerUnit::Fault::none) : behaviour->fault;
    switch (fault) {
    case ServerUnit::Fault::noResponse:
        stayedSilent(unit, function, false, false, request.client);
        return std::nullopt;
    case ServerUnit::Fault::exception:
        answer = ExceptionPDU::make(function, behaviour->exceptionCode);
        break;
    case ServerUnit::Fault::none:
    case ServerUnit::Fault::badCRC: {
        auto result = processor_.process(request.pdu, unit);
        if (!result.writes.empty()) {
            emit(ServerEvent::wrote(std::move(result.writes)), request.client); // before delay
        }
        if (!result.response) {
            stayedSilent(unit, function, true, false, request.client); // listen-only mode
            return std::nullopt;
        }
        answer = std::move(*result.response);
        break;
    }
    }

    static const FaultRule::Effect damagedCRC{.kind = FaultRule::Effect::Kind::badCRC};
    const FaultRule::Effect* effect = fired                                ? &fired->effect
                                      : fault == ServerUnit::Fault::badCRC ? &damagedCRC
                                                                           : nullptr;
    if (effect && effect->kind == FaultRule::Effect::Kind::badCRC &&
        !carriesCRC(options_.transport)) {
        effect = nullptr;
    }
    ReplyPlan reply = plan(request, unit, answer, shape.quantity,
                           std::chrono::ceil<std::chrono::nanoseconds>(
                               std::chrono::duration<double>(behaviour->delay)),
                           effect, fired ? fired->random : 0);
    if (reply.chunks.empty()) {
        stayedSilent(unit, function, false, false, request.client);
        return std::nullopt;
    }
    report_.answered(unit, function, exceptionCode(answer, effect), shapingOf(effect));
    return Answer{unit, request.unit, std::move(reply)};
}

void RequestHandling::sent(Answer answer, TimePoint end, const std::string& client) {
    if (answer.unit) {
        report_.sent(*answer.unit, end);
        store_->updateDiagnostics(*answer.unit, [&answer](UnitDiagnostics& d) {
            d.answered(answer.plan.pdu);
            return true;
        });
    }
    emit(ServerEvent::response(answer.unit.value_or(answer.address), std::move(answer.plan.pdu),
                               answer.plan.burst(), answer.plan.corruptedCRC),
         client);
}
