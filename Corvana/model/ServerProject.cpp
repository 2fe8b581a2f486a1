#include "Corvana/model/ServerProject.h"

#include "Localization/L10n.h"

#include <string>
#include <utility>

namespace {

Datapoint exampleDatapoint(std::string name, RegisterTable table, std::uint16_t address,
                           DataType dataType, double scale, std::string engineeringUnit,
                           double value, Simulation simulation) {
    return Datapoint(UUID::random(), std::move(name), 1, table, address, dataType, WordOrder::abcd,
                     scale, std::move(engineeringUnit), DisplayFormat::decimal, value, "",
                     simulation);
}

} // namespace

ServerProject ServerProject::example() {
    ServerProject project;
    project.serial = SerialConfiguration{9600, 8, Parity::even, 1};

    ServerUnit unit;
    unit.unitID = 1;
    unit.name = L10n::Example::deviceName();
    project.units.push_back(unit);

    using Kind = Simulation::Kind;
    const Simulation fixed{Kind::none, 0, 100, 10};
    // "Pressure" takes input registers 1 and 2, so "Run time" starts at 3: no overlaps.
    project.datapoints = {
        exampleDatapoint(L10n::Example::temperature(), RegisterTable::inputRegister, 0,
                         DataType::int16, 0.1, "°C", 21.5, {Kind::sine, 18, 24, 60}),
        exampleDatapoint(L10n::Example::pressure(), RegisterTable::inputRegister, 1,
                         DataType::float32, 1, "bar", 1.013, fixed),
        exampleDatapoint(L10n::Example::runTime(), RegisterTable::inputRegister, 3,
                         DataType::uint32, 1, "s", 0, {Kind::counter, 0, 4'000'000'000, 1}),
        exampleDatapoint(L10n::Example::setpoint(), RegisterTable::holdingRegister, 0,
                         DataType::int16, 0.1, "°C", 20, fixed),
        exampleDatapoint(L10n::Example::mode(), RegisterTable::holdingRegister, 1, DataType::uint16,
                         1, "", 1, fixed),
        exampleDatapoint(L10n::Example::pumpOn(), RegisterTable::coil, 0, DataType::bool_, 1, "", 1,
                         fixed),
        exampleDatapoint(L10n::Example::alarm(), RegisterTable::discreteInput, 0, DataType::bool_,
                         1, "", 0, {Kind::toggle, 0, 1, 15}),
    };
    return project;
}
