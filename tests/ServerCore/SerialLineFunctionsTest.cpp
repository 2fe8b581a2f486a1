#include "ServerCore/RequestProcessor.h"
#include "tests/support/ByteParts.h"
#include "tests/support/StoreBuilders.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace {

using Policy = ServerUnit::UndefinedAddresses;

Bytes text(const std::string& s) {
    return {s.begin(), s.end()};
}

// Unit 1 as the standard's examples describe a device; unit 2 with nothing but defaults, "read
// as 0"; unit 3 lacks functions 03 and 06.
class SerialLineFunctionsTest : public testing::Test {
protected:
    void SetUp() override {
        ServerUnit one = unit(1);
        UnitIdentity& id = one.identity;
        std::tie(id.exceptionStatus, id.serverID, id.runIndicator, id.additionalData) =
            std::tuple(0x6D, Bytes{0x42, 0x43}, true, "AB");
        std::tie(id.vendorName, id.productCode, id.revision, id.productName) =
            std::tuple("Company identification", "Product code XX", "V2.11", "");
        ServerUnit two = unit(2, Policy::zero);
        two.name = "Boiler";
        ServerUnit three = unit(3, Policy::zero);
        three.functions = {0x01, 0x02, 0x04, 0x05, 0x08, 0x10};
        units = {one, two, three};
        store->configure(units,
                         {point(1, RegisterTable::holdingRegister, 0x04DE, 2),
                          point(1, RegisterTable::holdingRegister, 0x04DF, 0x01B8),
                          point(1, RegisterTable::holdingRegister, 0x04E0, 0x1284),
                          point(1, RegisterTable::holdingRegister, 0x0100, 0)},
                         true);
    }

    std::optional<Bytes> ask(std::uint8_t id, const std::string& request) const {
        return processor.process(hex(request), id).response;
    }
    UnitDiagnostics diagnostics(std::uint8_t id) const { return *store->diagnostics(id); }
    void change(std::uint8_t id, const std::function<void(UnitDiagnostics&)>& f) {
        store->updateDiagnostics(id, [&](UnitDiagnostics& d) {
            f(d);
            return true;
        });
    }

    std::vector<ServerUnit> units;
    std::shared_ptr<RegisterStore> store = std::make_shared<RegisterStore>();
    RequestProcessor processor{store};
};

// The examples of the application protocol, byte for byte. Function 11's status word is 0x0000:
// a simulated unit never has a program command in progress, so never the example's 0xFFFF.
TEST_F(SerialLineFunctionsTest, AnswersTheStandardsExamples) {
    change(1, [](UnitDiagnostics& d) {
        d.eventCounter = 0x0108;
        d.busMessages = 0x0121;
        d.events = {0x20, 0x00};
    });
    EXPECT_EQ(ask(1, "07"), hex("07 6D"));
    EXPECT_EQ(ask(1, "08 00 00 A5 37"), hex("08 00 00 A5 37"));
    EXPECT_EQ(ask(1, "0B"), hex("0B 00 00 01 08"));
    EXPECT_EQ(ask(1, "0C"), hex("0C 08 00 00 01 08 01 21 20 00"));
    EXPECT_EQ(ask(1, "11"), hex("11 05 42 43 FF 41 42"));
    EXPECT_EQ(ask(1, "18 04 DE"), hex("18 00 06 00 02 01 B8 12 84"));
    // The example's conformity 01 plus 0x80, as this unit can read objects one by one too; the
    // product code's length is its true 15 bytes where the example says 0D.
    EXPECT_EQ(ask(1, "2B 0E 01 00"),
              join({hex("2B 0E 01 81 00 00 03 00 16"), text("Company identification"), hex("01 0F"),
                    text("Product code XX"), hex("02 05"), text("V2.11")}));
}

TEST_F(SerialLineFunctionsTest, DiagnosticCountersAnswerTheirSubFunctions) {
    change(1, [](UnitDiagnostics& d) {
        std::tie(d.diagnosticRegister, d.busMessages, d.busCommunicationErrors,
                 d.busExceptionErrors, d.serverMessages, d.serverNoResponses, d.serverNAKs,
                 d.serverBusy, d.busCharacterOverruns) =
            std::tuple(0x0001, 11, 12, 13, 14, 15, 16, 17, 18);
    });
    const std::pair<const char*, const char*> cases[] = {
        {"08 00 02 00 00", "08 00 02 00 01"}, {"08 00 0B 00 00", "08 00 0B 00 0B"},
        {"08 00 0C 00 00", "08 00 0C 00 0C"}, {"08 00 0D 00 00", "08 00 0D 00 0D"},
        {"08 00 0E 00 00", "08 00 0E 00 0E"}, {"08 00 0F 00 00", "08 00 0F 00 0F"},
        {"08 00 10 00 00", "08 00 10 00 10"}, {"08 00 11 00 00", "08 00 11 00 11"},
        {"08 00 12 00 00", "08 00 12 00 12"}, {"08 00 12 00 01", "88 03"},
        {"08 00 14 00 00", "08 00 14 00 00"}, {"08 00 12 00 00", "08 00 12 00 00"},
        {"08 00 0A 00 00", "08 00 0A 00 00"}, {"08 00 02 00 00", "08 00 02 00 00"},
        {"08 00 11 00 00", "08 00 11 00 00"},
    };
    for (const auto& [request, response] : cases) {
        EXPECT_EQ(ask(1, request), hex(response)) << request;
    }
    EXPECT_EQ(diagnostics(1).events, std::deque<std::uint8_t>{}); // clearing keeps the log
}

TEST_F(SerialLineFunctionsTest, RestartClearsCountersAndTheLogOnlyWhenAsked) {
    const auto fill = [](UnitDiagnostics& d) {
        d.serverMessages = 9;
        d.eventCounter = 9;
        d.events = {0x40, 0x80};
    };
    change(1, fill);
    EXPECT_EQ(ask(1, "08 00 01 00 00"), hex("08 00 01 00 00"));
    EXPECT_EQ(diagnostics(1).serverMessages, 0);
    EXPECT_EQ(diagnostics(1).eventCounter, 0);
    EXPECT_EQ(diagnostics(1).events, (std::deque<std::uint8_t>{0x00, 0x40, 0x80}));
    change(1, fill);
    EXPECT_EQ(ask(1, "08 00 01 FF 00"), hex("08 00 01 FF 00"));
    EXPECT_EQ(diagnostics(1).events, (std::deque<std::uint8_t>{0x00}));
}

// Listen-only: no answer, nothing executed, until a restart (itself unanswered) ends it.
TEST_F(SerialLineFunctionsTest, ListenOnlyIsEnteredAndLeft) {
    EXPECT_EQ(ask(2, "08 00 04 00 00"), std::nullopt);
    EXPECT_TRUE(diagnostics(2).listenOnly);
    EXPECT_EQ(diagnostics(2).events.front(), UnitDiagnostics::enteredListenOnlyEvent);
    for (const char* request : {"03 00 00 00 01", "08 00 00 12 34", "08 00 0A 00 00", "11"}) {
        EXPECT_EQ(ask(2, request), std::nullopt) << request;
    }
    const auto result = processor.process(hex("06 00 01 00 07"), 2);
    EXPECT_EQ(result, RequestProcessor::Result{});
    EXPECT_EQ(processor.process(hex("05 00 01 FF 00"), 0).writes,
              (std::vector<WriteEvent>{{3, RegisterTable::coil, {1, 2}}}));
    EXPECT_EQ(store->readBits(2, RegisterTable::coil, {1, 2}), std::vector<bool>{false});

    EXPECT_EQ(ask(2, "08 00 01 00 00"), std::nullopt);
    EXPECT_FALSE(diagnostics(2).listenOnly);
    EXPECT_EQ(ask(2, "03 00 00 00 01"), hex("03 02 00 00"));
}

// A broadcast runs the state-changing diagnostics on every enabled unit and nothing else.
TEST_F(SerialLineFunctionsTest, BroadcastDiagnosticsChangeStateWithoutAnswer) {
    change(1, [](UnitDiagnostics& d) { d.serverMessages = 5; });
    EXPECT_EQ(processor.process(hex("08 00 0A 00 00"), 0), RequestProcessor::Result{});
    EXPECT_EQ(diagnostics(1).serverMessages, 0);
    EXPECT_EQ(processor.process(hex("08 00 04 00 00"), 0), RequestProcessor::Result{});
    EXPECT_TRUE(diagnostics(1).listenOnly && diagnostics(2).listenOnly &&
                diagnostics(3).listenOnly);
    EXPECT_EQ(processor.process(hex("08 00 01 00 00"), 0), RequestProcessor::Result{});
    EXPECT_FALSE(diagnostics(1).listenOnly || diagnostics(2).listenOnly);
}

TEST_F(SerialLineFunctionsTest, SwitchedOffCodesAreIllegalFunctions) {
    EXPECT_EQ(ask(3, "03 00 00 00 01"), hex("83 01"));
    EXPECT_EQ(ask(3, "11"), hex("91 01"));
    EXPECT_EQ(ask(3, "04 00 00 00 01"), hex("04 02 00 00"));
    // A broadcast write skips the unit that lacks the code.
    EXPECT_EQ(processor.process(hex("06 00 01 00 07"), 0).writes,
              (std::vector<WriteEvent>{{2, RegisterTable::holdingRegister, {1, 2}}}));
}

TEST_F(SerialLineFunctionsTest, FIFOQueueChecksCountAndAddresses) {
    store->writeRegisters(2, RegisterTable::holdingRegister, 10, std::vector<std::uint16_t>{31});
    EXPECT_EQ(ask(2, "18 00 0A")->size(), 5u + 2 * 31);
    store->writeRegisters(2, RegisterTable::holdingRegister, 10, std::vector<std::uint16_t>{32});
    EXPECT_EQ(ask(2, "18 00 0A"), hex("98 03"));
    EXPECT_EQ(ask(2, "18 00 20"), hex("18 00 02 00 00")); // an empty queue
    EXPECT_EQ(ask(1, "18 00 01"), hex("98 02"));          // no datapoint at the pointer
    EXPECT_EQ(ask(1, "18 01 00 00"), hex("98 03"));
    store->writeRegisters(2, RegisterTable::holdingRegister, 0xFFFF, std::vector<std::uint16_t>{1});
    EXPECT_EQ(ask(2, "18 FF FF"), hex("98 02")); // the queue would run past the last address
}

TEST_F(SerialLineFunctionsTest, ReportServerIDDefaultsToTheUnitAndTheVersion) {
    const std::string data = UnitIdentity::defaultAdditionalData();
    EXPECT_EQ(
        ask(2, "11"),
        join({hex("11"), {static_cast<std::uint8_t>(2 + data.size())}, hex("02 FF"), text(data)}));
    EXPECT_EQ(ask(2, "11 00"), hex("91 03"));
}

// Objects of one category stream across answers: "more follows" and the next object's ID until
// the last one.
TEST_F(SerialLineFunctionsTest, DeviceIdentificationStreamsAcrossAnswers) {
    units[1].identity.vendorURL = "https://example.invalid";
    for (int id = 0x80; id < 0x84; ++id) {
        units[1].identity.privateObjects[static_cast<std::uint8_t>(id)] =
            std::string(100, 'a' + id % 8);
    }
    store->configure(units, {}, true);
    const auto expected = units[1].servedIdentity().objects;
    std::map<std::uint8_t, std::string> streamed;
    std::uint8_t next = 0;
    int answers = 0;
    for (bool more = true; more && answers < 10; ++answers) {
        const Bytes response = *processor.process(Bytes{0x2B, 0x0E, 0x03, next}, 2).response;
        ASSERT_GE(response.size(), 7u);
        EXPECT_EQ(response[3], 0x83); // extended, individual access
        EXPECT_LE(response.size(), 253u);
        more = response[4] == 0xFF;
        next = response[5];
        std::size_t at = 7;
        for (int i = 0; i < response[6]; ++i) {
            const std::size_t length = response[at + 1];
            streamed[response[at]] =
                std::string(response.begin() + at + 2, response.begin() + at + 2 + length);
            at += 2 + length;
        }
        EXPECT_EQ(at, response.size());
        EXPECT_EQ(more ? next : 0, next);
    }
    EXPECT_EQ(answers, 3);
    EXPECT_EQ(streamed, expected);

    // Regular stops before the private objects; basic after object 2.
    EXPECT_EQ(processor.process(hex("2B 0E 02 00"), 2).response->at(6), 6); // 0, 1, 2, 3, 4, 5
    EXPECT_EQ(processor.process(hex("2B 0E 01 00"), 2).response->at(6), 3);
    EXPECT_EQ(processor.process(hex("2B 0E 01 00"), 1).response->at(3), 0x81);
    EXPECT_EQ(processor.process(hex("2B 0E 02 00"), 1).response->at(3), 0x81);
    // A stream from an object the category lacks starts at the first.
    EXPECT_EQ(ask(2, "2B 0E 01 80"), ask(2, "2B 0E 01 00"));
    EXPECT_EQ(ask(2, "2B 0E 02 06"), ask(2, "2B 0E 02 00"));
    EXPECT_EQ(ask(2, "2B 0E 04 05"), join({hex("2B 0E 04 83 00 00 01 05 06"), text("Boiler")}));
    EXPECT_EQ(ask(2, "2B 0E 04 06"), hex("AB 02"));
    for (const char* bad : {"2B 0E 00 00", "2B 0E 05 00", "2B 0E 01", "2B 0E 01 00 00"}) {
        EXPECT_EQ(ask(2, bad), hex("AB 03")) << bad;
    }
}

// The event bytes the serial line standard defines, and the log's 64-entry limit.
TEST(UnitDiagnostics, CountsAnswersAndLogsEvents) {
    UnitDiagnostics d;
    d.heard(false);
    d.answered(hex("03 02 00 00"));
    d.heard(true);
    d.answered(hex("83 02"));
    d.answered(hex("83 04"));
    d.answered(hex("83 06"));
    d.answered(hex("0B 00 00 00 01"));
    d.communicationError();
    d.enterListenOnly();
    d.heard(false);
    EXPECT_EQ(d.events, (std::deque<std::uint8_t>{0xA0, 0x04, 0x82, 0x40, 0x44, 0x42, 0x41, 0xC0,
                                                  0x40, 0x80}));
    EXPECT_EQ(d.eventCounter, 1);
    EXPECT_EQ(d.busExceptionErrors, 3);
    EXPECT_EQ(d.serverBusy, 1);
    EXPECT_EQ(d.serverMessages, 3);
    for (int i = 0; i < 100; ++i) {
        d.heard(false);
    }
    EXPECT_EQ(d.events.size(), UnitDiagnostics::eventLogSize);
}

} // namespace
