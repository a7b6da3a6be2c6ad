#include "app/Settings.h"

#include <optional>

#include "app/AppState.h"
#include "core/Scramble.h"

namespace pwg::settings {
namespace {

const std::string kSection(kSettingsSection);

void LoadWindow() {
    AppState& state = State();
    state.windowStart = LoadTime(kBeginTimeValue, kDefaultBeginTime);
    state.windowEnd = LoadTime(kEndTimeValue, kDefaultEndTime);
}

// True while the store holds no text for the value, or the text this
// instance last read or wrote: nobody else has changed it since.
bool StillOurs(std::string_view name, const std::optional<std::string>& ours) {
    try {
        const std::optional<std::string> now = ReadStoredSetting(kSettingsSection, name);
        return !now || now == ours;
    } catch (const std::exception&) {
        return false;  // not text at all: not ours either
    }
}

template <class T>
bool Writes(std::string_view name, const InForce<T>& setting) {
    return setting.known && StillOurs(name, setting.stored);
}

}  // namespace

void Load() {
    State().password = LoadPassword();
    LoadWindow();
}

void ConfirmWindow(double start, double end) {
    WriteSettings({{kSection, std::string(kBeginTimeValue), TimeToText(start)},
                   {kSection, std::string(kEndTimeValue), TimeToText(end)}});
    // What is stored is what counts.
    LoadWindow();
}

void ChangePassword(const std::string& password) {
    InForce<std::string>& inForce = State().password;
    const std::string scrambled = Scramble(password, kPasswordKey);
    // Unwritten, the store keeps what it held: leaving tries again, unless another hand stores one first.
    if (WriteSettings({{kSection, std::string(kPasswordValue), scrambled}})) inForce.stored = scrambled;
    inForce = password;
}

std::vector<SettingRecord> ToSave() {
    const AppState& state = State();
    std::vector<SettingRecord> batch;
    if (Writes(kBeginTimeValue, state.windowStart))
        batch.push_back({kSection, std::string(kBeginTimeValue), TimeToText(state.windowStart)});
    if (Writes(kEndTimeValue, state.windowEnd))
        batch.push_back({kSection, std::string(kEndTimeValue), TimeToText(state.windowEnd)});
    if (Writes(kPasswordValue, state.password))
        batch.push_back({kSection, std::string(kPasswordValue), Scramble(state.password.value, kPasswordKey)});
    return batch;
}

void Save() { WriteSettings(ToSave()); }

}  // namespace pwg::settings
