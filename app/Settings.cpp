#include "app/Settings.h"

#include <optional>

#include "app/AppState.h"
#include "app/LocalClock.h"
#include "app/TrustedClockRules.h"
#include "common/Error.h"
#include "core/Scramble.h"
#include "core/ZoneRules.h"

namespace pwg::settings {
namespace {

// One stored value: its name, the text that stands for it while none is
// stored, how a text goes into force (throwing when it is not one) and how
// the value in force is written, and what the state knows of the store.
struct Setting {
    std::string_view name;
    int loadStep;  // the start-up reads them in this order; leaving writes them in table order
    std::string (*defaultText)();
    void (*take)(AppState&, const std::string& text);
    std::string (*text)(const AppState&);
    StoredState& (*of)(AppState&);
};

std::string None() { return {}; }

// The zone named, or, where none is named (or Windows no longer knows the
// name), the zone taken at start-up.
void TakeTimeZone(AppState& state, const std::string& name) {
    if (!name.empty()) UseTimeZone(name);
    state.timeZone = TimeZoneName();
}

const Setting kSettings[] = {
    {kBeginTimeValue, 1, [] { return std::string(kDefaultBeginTime); },
     [](AppState& s, const std::string& text) { s.windowStart = TextToTime(text); },
     [](const AppState& s) { return TimeToText(s.windowStart); }, [](AppState& s) -> StoredState& { return s.windowStart; }},
    {kEndTimeValue, 2, [] { return std::string(kDefaultEndTime); },
     [](AppState& s, const std::string& text) { s.windowEnd = TextToTime(text); },
     [](const AppState& s) { return TimeToText(s.windowEnd); }, [](AppState& s) -> StoredState& { return s.windowEnd; }},
    {kPasswordValue, 0, ScrambledDefaultPassword,
     [](AppState& s, const std::string& text) { s.password = Unscramble(text, kPasswordKey); },
     [](const AppState& s) { return Scramble(s.password.value, kPasswordKey); },
     [](AppState& s) -> StoredState& { return s.password; }},
    {kTimeZoneValue, 3, None, TakeTimeZone, [](const AppState& s) { return s.timeZone.value; },
     [](AppState& s) -> StoredState& { return s.timeZone; }},
    {kNetworkTimeValue, 4, None,
     // Until the network has told, there is nothing to keep.
     [](AppState& s, const std::string& text) {
         if (!text.empty()) s.networkTime = UtcFromText(text);
     },
     [](const AppState& s) { return s.networkTime.value ? UtcText(s.networkTime) : std::string(); },
     [](AppState& s) -> StoredState& { return s.networkTime; }},
    {kLockValue, 5, [] { return std::string("0"); },
     [](AppState& s, const std::string& text) {
         if (text != "0" && text != "1") throw Error(MessageWith("'%s' is not a valid lock state", text));
         s.locked = text == "1";
     },
     [](const AppState& s) { return std::string(s.locked ? "1" : "0"); },
     [](AppState& s) -> StoredState& { return s.locked; }},
};

const std::string kSection(kSettingsSection);

const Setting& Named(std::string_view name) {
    for (const Setting& setting : kSettings)
        if (setting.name == name) return setting;
    throw Error(MessageWith("No setting '%s'", name));
}

// The stored text, or the default's where none is stored.
std::string TextOf(const Setting& setting, std::optional<std::string>& stored) {
    stored = ReadStoredSetting(kSettingsSection, setting.name);
    return stored ? *stored : setting.defaultText();
}

// Reads one into force, with the text it came from.
void Load(const Setting& setting) {
    std::optional<std::string> stored;
    setting.take(State(), TextOf(setting, stored));
    setting.of(State()).stored = std::move(stored);
}

// Stores those of the settings named that are in force; each one written is ours.
bool Store(std::initializer_list<std::string_view> names) {
    AppState& state = State();
    std::vector<SettingRecord> batch;
    for (std::string_view name : names)
        if (Named(name).of(state).known) batch.push_back({kSection, std::string(name), Named(name).text(state)});
    if (!WriteSettings(batch)) return false;
    for (const SettingRecord& record : batch) Named(record.name).of(state).stored = record.value;
    return true;
}

// True while the store holds no text for the value, the text this instance
// last read or wrote, or something that is no setting at all: nobody else
// has stored another setting since.
bool StillOurs(std::string_view name, const std::optional<std::string>& ours) {
    try {
        const std::optional<std::string> now = ReadStoredSetting(kSettingsSection, name);
        return !now || now == ours;
    } catch (const std::exception&) {
        return true;
    }
}

}  // namespace

void Load() {
    const int steps = static_cast<int>(std::size(kSettings));
    for (int step = 0; step < steps; ++step)
        for (const Setting& setting : kSettings)
            if (setting.loadStep == step) Load(setting);
}

UsageWindow StoredWindow() {
    std::optional<std::string> stored;
    const double start = TextToTime(TextOf(Named(kBeginTimeValue), stored));
    return {start, TextToTime(TextOf(Named(kEndTimeValue), stored))};
}

void ConfirmWindow(double start, double end) {
    AppState& state = State();
    CaptureTimeZone();
    const std::string zone = TimeZoneName();
    const bool zoneMoved = zone != state.timeZone.value;
    WriteSettings({{kSection, std::string(kBeginTimeValue), TimeToText(start)},
                   {kSection, std::string(kEndTimeValue), TimeToText(end)},
                   {kSection, std::string(kTimeZoneValue), zone}});
    // What is stored is what counts.
    for (std::string_view name : {kBeginTimeValue, kEndTimeValue, kTimeZoneValue}) Load(Named(name));
    // The snapshot was taken in the zone before.
    if (zoneMoved) state.trustedTime = LocalTimeOfDayNotBefore(state.networkTime);
}

void ChangePassword(const std::string& password) {
    InForce<std::string>& inForce = State().password;
    // Unwritten, the store keeps what it held: leaving tries again, unless another hand stores one first.
    const std::optional<std::string> before = inForce.stored;
    inForce = password;
    if (!Store({kPasswordValue})) inForce.stored = before;
}

void StoreLock() { Store({kLockValue, kTimeZoneValue}); }

void StoreNetworkTime() {
    const InForce<long long>& inForce = State().networkTime;
    long long stored = 0;
    try {
        if (inForce.stored && !inForce.stored->empty()) stored = UtcFromText(*inForce.stored);
    } catch (const Error&) {
    }
    if (StoresNetworkTime(inForce, stored)) Store({kNetworkTimeValue});
}

std::vector<SettingRecord> ToSave() {
    AppState& state = State();
    std::vector<SettingRecord> batch;
    for (const Setting& setting : kSettings) {
        const StoredState& known = setting.of(state);
        if (known.known && StillOurs(setting.name, known.stored))
            batch.push_back({kSection, std::string(setting.name), setting.text(state)});
    }
    return batch;
}

void Save() { WriteSettings(ToSave()); }

}  // namespace pwg::settings
