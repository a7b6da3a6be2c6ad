#pragma once
// A main window in a clean registry, its enforcement stopped so that the
// test drives every tick itself, and the shutdown requests recorded instead
// of made.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/AppState.h"
#include "app/Unit1.h"

namespace pwg::test {

inline constexpr char kTestTitle[] = "pwg tests";

// The application object as a fresh program has it: the test title, no main
// window, not terminated, its window hidden and not minimised.
void ResetApplication();

// Removes what the program keeps in the registry.
void ClearStoredSettings();
// Reads a REG_SZ under HKEY_CURRENT_CONFIG\ASTD; "<absent>" when missing.
std::string StoredSetting(const char* name);
void StoreSetting(const char* name, const std::string& value);
void StoreDwordSetting(const char* name, DWORD value);

// What the shutdown seam was asked, in order: "ExitWindowsEx 8" and
// "InitiateSystemShutdown <computer> <message> 5 1 0".
struct ShutdownRecorder {
    ShutdownRecorder();
    ~ShutdownRecorder();
    static inline std::vector<std::string> calls;
    static inline BOOL exitResult = TRUE;
    static inline DWORD exitError = 0;
};

class AppFixture : public ::testing::Test {
protected:
    static double Hours(double h) { return h / 24.0; }
    void SetUp() override;
    void TearDown() override;
    // Creates the main window (which runs the start-up sequence).
    void CreateMainForm();

    TMainForm* main_ = nullptr;
    ShutdownRecorder shutdown_;
};

}  // namespace pwg::test
