#pragma once
// The stored settings in force, in the application state: the one place that
// loads them, stores what the administrator confirms or changes, and decides
// what leaving writes. UI thread only; texts in the ANSI code page.
#include <string>
#include <vector>

#include "core/U0_func.h"

namespace pwg::settings {

// At start-up: the password, then the usage window, each into force with the
// stored text it came from. Throws what reading them throws; what was loaded
// before the failure stays in force, the rest stays out of it.
void Load();
// A usage window the administrator confirmed: stored, then read back into
// force, so that a failed write leaves the stored values in force. Throws
// what reading throws.
void ConfirmWindow(double start, double end);
// A new administrator password: stored scrambled, and in force at once (a
// failed write is tried again at exit).
void ChangePassword(const std::string& password);

// What leaving writes, in order: the start, the end and the scrambled
// password, each only while in force and only while the store holds the
// text it came from or was last written as, or nothing. So a second
// instance, or the administrator's tools, never see their change undone,
// and a deleted value is written again.
std::vector<SettingRecord> ToSave();
// Writes them; a failed write is tried again at the next exit.
void Save();

}  // namespace pwg::settings
