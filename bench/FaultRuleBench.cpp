#include "ServerCore/ReplyPlan.h"
#include "ServerCore/RequestProcessor.h"
#include "tests/support/StoreBuilders.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

using Schedule = FaultRule::Schedule;
using Effect = FaultRule::Effect;

constexpr int ruleCount = 20;

// 19 rules that look at other functions, other addresses or other sizes than the 10-register
// reads of the benchmark, each with a different schedule, then a last one that matches them all.
std::vector<FaultRule> rules(Schedule last) {
    std::vector<FaultRule> list;
    for (int i = 0; i < ruleCount - 1; ++i) {
        FaultRule rule;
        rule.name = "rule " + std::to_string(i);
        switch (i % 3) {
        case 0:
            rule.match.functions = {6, 16};
            break;
        case 1:
            rule.match.addressFrom = 1000 + i;
            rule.match.addressTo = 2000;
            break;
        default:
            rule.match.quantityFrom = 50;
            break;
        }
        rule.schedule = {.kind = Schedule::Kind::everyNth, .n = 2 + i};
        rule.effect = {.kind = Effect::Kind::badCRC};
        list.push_back(rule);
    }
    list.push_back({"last", true, {.functions = {3}}, last, {.kind = Effect::Kind::badCRC}});
    return list;
}

std::shared_ptr<RegisterStore> makeStore(Schedule last) {
    ServerUnit only = unit(1);
    only.faultRules = rules(last);
    std::vector<Datapoint> points;
    for (int i = 0; i < 200; ++i) {
        points.push_back(point(1, RegisterTable::holdingRegister, i, i));
    }
    auto store = std::make_shared<RegisterStore>();
    store->configure({only}, points, true);
    store->setFaultSeed(1);
    return store;
}

// What the engine does for each request of a unit: the rules, then the processor, then (when a
// rule fired) the reply's plan.
void run(benchmark::State& state, Schedule last, bool plan) {
    const auto store = makeStore(last);
    const RequestProcessor processor{store};
    std::vector<Bytes> requests;
    for (int i = 0; i < 64; ++i) {
        const auto address = static_cast<std::uint8_t>((i * 7) % 190);
        requests.push_back({0x03, 0x00, address, 0x00, 0x0A});
    }
    std::size_t next = 0;
    std::int64_t fired = 0;
    for (auto _ : state) {
        const Bytes& pdu = requests[next];
        next = (next + 1) % requests.size();
        const auto fault = store->fireFaultRule(1, FaultRules::shapeOf(pdu), 1.0);
        auto result = processor.process(pdu, 1);
        if (fault && plan) {
            auto made =
                ReplyPlan::make({1, *result.response, 10, {}, {}}, &fault->effect, fault->random);
            benchmark::DoNotOptimize(made);
        }
        fired += fault.has_value();
        benchmark::DoNotOptimize(result);
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["fired"] = static_cast<double>(fired) / static_cast<double>(state.iterations());
}

// The common case: twenty rules tried, none fires.
void BM_TwentyRulesNoneFiring(benchmark::State& state) {
    run(state, {.kind = Schedule::Kind::window, .from = 100, .to = 200}, false);
}
BENCHMARK(BM_TwentyRulesNoneFiring);

// The last of twenty rules fires on every request.
void BM_TwentyRulesLastFiring(benchmark::State& state) {
    run(state, {}, false);
}
BENCHMARK(BM_TwentyRulesLastFiring);

// The same with the bad-CRC reply planned.
void BM_TwentyRulesLastFiringWithPlan(benchmark::State& state) {
    run(state, {}, true);
}
BENCHMARK(BM_TwentyRulesLastFiringWithPlan);

// Without rules, for comparison.
void BM_NoRules(benchmark::State& state) {
    auto store = std::make_shared<RegisterStore>();
    std::vector<Datapoint> points;
    for (int i = 0; i < 200; ++i) {
        points.push_back(point(1, RegisterTable::holdingRegister, i, i));
    }
    store->configure({unit(1)}, points, true);
    const RequestProcessor processor{store};
    const Bytes pdu{0x03, 0x00, 0x10, 0x00, 0x0A};
    for (auto _ : state) {
        const auto fault = store->fireFaultRule(1, FaultRules::shapeOf(pdu), 1.0);
        auto result = processor.process(pdu, 1);
        benchmark::DoNotOptimize(fault);
        benchmark::DoNotOptimize(result);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NoRules);

} // namespace
