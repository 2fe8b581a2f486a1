#pragma once

#include <string>
#include <string_view>

// The texts of a unit's fault rules: the pieces of a rule's one-line summary, the names of
// schedules, effects and presets, and the Fault rules section with its editor. Kinds are passed
// as their index in the declaration order of FaultRule's enumerations; numbers arrive already
// formatted, so the caller decides on decimal separators.
namespace L10n::Faults {

// What a rule's match covers, as a noun in the singular or plural. Kind order: 0 every request,
// 1 reads of coils, 2 reads of discrete inputs, 3 reads of holding registers, 4 reads of input
// registers, 5 writes of coils, 6 writes of holding registers, 7 requests with the function
// codes `codes`.
std::string requests(int kind, bool plural, std::string_view codes = {});
// "100–120", "from 100", "up to 120" or "100"; either end may be empty (open).
std::string range(std::string_view from, std::string_view to);
// The noun narrowed to addresses: "reads of holding registers 100–120" after a table's name,
// "requests at addresses 100–120" otherwise.
std::string atAddresses(std::string_view what, std::string_view range, bool namesTable);
std::string withQuantity(std::string_view what, std::string_view range);

// "5th", "5.", "5e".
std::string ordinal(int n);
std::string seconds(std::string_view value);
std::string percent(std::string_view value);

// When the rule fires, by schedule; `one` and `many` are the singular and plural noun.
std::string always(std::string_view one);
std::string everyNth(int n, std::string_view one);
std::string probability(std::string_view percent, std::string_view many);
std::string firstN(int n, std::string_view one, std::string_view many);
std::string afterN(int n, std::string_view one);
std::string window(std::string_view from, std::string_view to, std::string_view one);
std::string periodic(std::string_view on, std::string_view period, std::string_view one);

// What the rule does, by effect kind; `amount` is the one number the kind uses (milliseconds,
// bytes, values, unit ID or code).
std::string effect(int kind, int amount, bool dropRequest = false);
// "Every 5th read of holding registers 100–120: bad CRC".
std::string summary(std::string_view when, std::string_view effect);

// Names in the editor's pickers, by kind.
std::string scheduleName(int kind);
std::string effectName(int kind);
// Preset order: 0 drop 10 % of replies, 1 every 5th reply with a bad CRC, 2 busy for 3 s every
// 30 s, 3 reply after the master's time-out, 4 slow bytes, 5 reply from the wrong unit.
std::string presetName(int index);
std::string presetHint(int index);

// The Fault rules section of the selected unit.
std::string title();
std::string ruleCount(int count, int on);
std::string noRules();
std::string add();
std::string addHint();
std::string emptyRule();
std::string presets();
std::string edit();
std::string editHint();
std::string duplicate();
std::string remove();
std::string moveUp();
std::string moveDown();
std::string columnOn();
std::string columnName();
std::string columnRule();
std::string columnFired();
std::string firedHint();
std::string newRuleName();

// The rule editor.
std::string editorTitle();
std::string name();
std::string enabled();
std::string match();
std::string functionCodes();
std::string functionCodesHint();
std::string all();
std::string any();
std::string addresses();
std::string quantity();
std::string from();
std::string to();
std::string schedule();
std::string kind();
std::string n();
std::string probabilityField();
std::string windowFrom();
std::string windowTo();
std::string on();
std::string period();
std::string effectField();
std::string exceptionCode();
std::string functionCode();
std::string milliseconds();
std::string byteGap();
std::string byteCount();
std::string unitID();
std::string valueCount();
std::string dropRequest();
std::string dropRequestHint();
std::string summaryLabel();
std::string secondsSuffix();
std::string percentSuffix();
// Refusals of the editor.
std::string invalidFunctionCodes(std::string_view text);
std::string invalidBound(std::string_view text);
std::string fromAboveTo();
std::string windowEmpty();
std::string onLongerThanPeriod();

} // namespace L10n::Faults
