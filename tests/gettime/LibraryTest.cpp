// GetTime.dll itself, loaded by name as the program loads it.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "FakeSntpServer.h"
#include "gettime/TimeClient.h"
#include "tests/support/Registry.h"

namespace gettime {
namespace {

using GetTimeFromServerFunction = unsigned char(__stdcall*)(int32_t, uint32_t*);
using UpdateSysTimeFunction = void(__stdcall*)(uint32_t);

constexpr uint32_t kServerTime = 1893456000u;

struct Library {
    Library() : module(LoadLibraryA("GetTime.dll")) {}
    ~Library() {
        if (module) FreeLibrary(module);
    }
    template <typename F>
    F Get(const char* name) const {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    }
    HMODULE module;
};

bool Loaded() { return GetModuleHandleA("GetTime.dll") != nullptr; }

// Loads the library, asks it twice and unloads it.
void AskTwice(int requestsBefore, const FakeSntpServer& server) {
    const Library library;
    ASSERT_NE(library.module, nullptr);
    const auto getTime = library.Get<GetTimeFromServerFunction>("GetTimeFromServer");
    const auto updateSysTime = library.Get<UpdateSysTimeFunction>("UpdateSysTime");
    ASSERT_NE(getTime, nullptr);
    ASSERT_NE(updateSysTime, nullptr);
    uint32_t value = 0;
    EXPECT_EQ(getTime(5, &value), 0);
    EXPECT_EQ(getTime(6, &value), 1);
    EXPECT_EQ(value, kServerTime);
    EXPECT_EQ(getTime(6, &value), 1) << "from the sample";
    EXPECT_EQ(server.Requests(), requestsBefore + 1);
    updateSysTime(0);  // refused: before the build
}

TEST(Library, ExportsAnswerAndAFreshLoadStartsAfresh) {
    FakeSntpServer server(kServerTime);
    const ServerListInRegistry list(server.Entry());
    AskTwice(0, server);
    EXPECT_FALSE(Loaded());
    AskTwice(1, server);
}

// An administrator writes the list with 64-bit Windows' own tools, into the
// 64-bit view; a library of either width reads it there, and only there.
TEST(Library, TakesTheServerListFromTheViewOfTheSystemsOwnTools) {
    using pwg::test::NativeReg;
    struct Removed {
        ~Removed() {
            NativeReg("delete HKLM\\SOFTWARE\\GetTime /f");
            NativeReg("delete HKLM\\SOFTWARE\\GetTime /f /reg:32");
        }
    } removed;
    FakeSntpServer server(kServerTime), inThe32BitView(kServerTime);
    ASSERT_EQ(NativeReg("add HKLM\\SOFTWARE\\GetTime /v Servers /d " + server.Entry() + " /f").exitCode, 0u);
    ASSERT_EQ(NativeReg("add HKLM\\SOFTWARE\\GetTime /v Servers /d " + inThe32BitView.Entry() + " /f /reg:32").exitCode,
              0u);
    AskTwice(0, server);
    EXPECT_EQ(inThe32BitView.Requests(), 0);
}

TEST(Library, UnloadsOnceALookupInProgressEnds) {
    FakeSntpServer server(kServerTime);
    const ServerListInRegistry list("no-such-host.invalid " + server.Entry());
    AskTwice(0, server);
    // The lookup thread holds the library until the resolver gives up.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (Loaded() && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(Loaded());
    AskTwice(1, server);
}

}  // namespace
}  // namespace gettime
