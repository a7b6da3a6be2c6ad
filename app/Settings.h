#pragma once
// The stored settings in force, in the application state: the one place that
// loads them, stores what the administrator confirms or changes, and decides
// what leaving writes. UI thread only; texts in the ANSI code page.
#include <string>
#include <vector>

#include "core/U0_func.h"

namespace pwg::settings {

// At start-up: every stored setting into force, each with the stored text it
// came from, in this order: the password, the usage window, the time zone,
// the last network time, the lock. Throws what reading one throws; what was
// loaded before the failure stays in force, the rest stays out of it.
void Load();
// The usage window as stored now, the defaults where nothing is; nothing is
// put into force. Throws what reading it throws.
UsageWindow StoredWindow();
// A usage window the administrator confirmed, with the time zone set in
// Windows now: stored, then read back into force, so that a failed write
// leaves the stored values in force. Throws what reading throws.
void ConfirmWindow(double start, double end);
// A new administrator password: stored scrambled, and in force at once (a
// failed write is tried again at exit).
void ChangePassword(const std::string& password);
// The lock flag in force, stored at once, with the time zone it is judged
// in: a restart, the end of the session or the power-off must not lift it.
void StoreLock();
// The last network time in force, stored when it has moved on far enough
// from the stored one.
void StoreNetworkTime();

// What leaving writes, in order: the start, the end, the scrambled password,
// the time zone, the last network time and the lock, each only while in force
// and only while the store holds the text it came from or was last written
// as, or nothing, or what is no setting at all (another type). So a second
// instance, or the administrator's tools, never see their change undone, and
// a deleted or damaged value is written again.
std::vector<SettingRecord> ToSave();
// Writes them; a failed write is tried again at the next exit.
void Save();

}  // namespace pwg::settings
