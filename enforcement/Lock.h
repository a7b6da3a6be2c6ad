#pragma once
// The lock, set and lifted here and nowhere else: the lock flag and the
// countdown change together, so that every lock counts from the start and no
// unlock leaves a count behind; and the flag is stored at once, so that a
// restart, a sign-out or the power-off finds it as it was left. UI thread only.

namespace pwg {

// Confirming the settings and relocking: outside the usage window the
// enforcement counts down from the full time.
void Lock();
// The unlock command, and the right password in the unlock dialog.
void Unlock();

}  // namespace pwg
