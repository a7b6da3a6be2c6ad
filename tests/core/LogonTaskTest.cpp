// Against the Task Scheduler of the test prefix, read back through the same
// interface. Wine's keeps a task's settings but not its trigger, principal or
// program (LogonTaskXmlTest checks those in the definition), and it keeps User
// Account Control off (EnableLUA 0): the tests switch it on where they need
// the task, and put it back.
#include "core/LogonTask.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "common/OsCalls.h"
#include "core/U0_func.h"
#include "tests/support/Files.h"
#include "tests/support/Registry.h"
#include "tests/support/StandIn.h"
#include "tests/support/Table.h"

namespace pwg {
namespace {

using test::RemoveValue;
using test::StandIn;

// The settings of the registered task; none without a task.
ComPtr<ITaskSettings> TaskSettings() {
    ComPtr<ITaskService> service;
    ComPtr<IRegisteredTask> task;
    ComPtr<ITaskDefinition> definition;
    ComPtr<ITaskSettings> settings;
    if (SUCCEEDED(TaskRootFolder(service)->GetTask(Bstr(kLogonTaskName).get(), task.put()))) {
        ComCheck(task->get_Definition(definition.put()));
        ComCheck(definition->get_Settings(settings.put()));
    }
    return settings;
}

int TaskPriority() {
    int priority = -1;
    if (const ComPtr<ITaskSettings> settings = TaskSettings()) ComCheck(settings->get_Priority(&priority));
    return priority;
}

// Wine cannot count them through the interface; the folder it stores them in,
// as Windows does: in the native system folder, which a 32-bit process on
// 64-bit Windows reaches as Sysnative (its System32 is SysWOW64).
std::filesystem::path TasksFolder() {
    wchar_t windows[MAX_PATH];
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    return std::filesystem::path(std::wstring(windows, GetWindowsDirectoryW(windows, MAX_PATH))) /
           (wow64 ? L"Sysnative" : L"System32") / L"Tasks";
}
int TasksInTheRootFolder() {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(TasksFolder())) count += entry.is_regular_file();
    return count;
}

// A task folder of the task's name, which leaves no room for the task.
class BlockingFolder {
public:
    BlockingFolder() { ComCheck(root_->CreateFolder(Bstr(kLogonTaskName).get(), VARIANT{}, folder_.put())); }
    ~BlockingFolder() { root_->DeleteFolder(Bstr(kLogonTaskName).get(), 0); }

private:
    ComPtr<ITaskService> service_;
    const ComPtr<ITaskFolder> root_ = TaskRootFolder(service_);
    ComPtr<ITaskFolder> folder_;
};

class LogonTask : public ::testing::Test {
protected:
    void SetUp() override { RemoveLogonTask(); }
    void TearDown() override { RemoveLogonTask(); }

    test::UacPolicy uac_{true};

private:
    const ComApartment apartment_;
};

TEST_F(LogonTask, ARegistrationReplacesTheTaskThereWithOneWithoutLimits) {
    const int before = TasksInTheRootFolder();
    {
        // Someone's task of that name, at the lowest priority.
        ComPtr<ITaskService> service;
        const ComPtr<ITaskFolder> root = TaskRootFolder(service);
        ComPtr<ITaskDefinition> other;
        ComCheck(service->NewTask(0, other.put()));
        ComPtr<ITaskSettings> settings;
        ComCheck(other->get_Settings(settings.put()));
        ComCheck(settings->put_Priority(10));
        ComPtr<IRegisteredTask> registered;
        ComCheck(root->RegisterTaskDefinition(Bstr(kLogonTaskName).get(), other.get(), TASK_CREATE, VARIANT{},
                                              VARIANT{}, TASK_LOGON_INTERACTIVE_TOKEN, VARIANT{}, registered.put()));
    }
    ASSERT_EQ(TaskPriority(), 10);
    RegisterAutoStart();
    RegisterAutoStart();
    EXPECT_EQ(TasksInTheRootFolder(), before + 1);

    const ComPtr<ITaskSettings> settings = TaskSettings();
    ASSERT_TRUE(settings);
    EXPECT_EQ(TaskPriority(), 4) << "normal";
    Bstr limit;
    ComCheck(settings->get_ExecutionTimeLimit(limit.put()));
    EXPECT_STREQ(limit.c_str(), L"PT0S");
    VARIANT_BOOL notOnBatteries = VARIANT_TRUE, stopOnBatteries = VARIANT_TRUE;
    ComCheck(settings->get_DisallowStartIfOnBatteries(&notOnBatteries));
    ComCheck(settings->get_StopIfGoingOnBatteries(&stopOnBatteries));
    EXPECT_EQ(notOnBatteries, VARIANT_FALSE);
    EXPECT_EQ(stopOnBatteries, VARIANT_FALSE);
}

// Then the Run entry starts the program, and a task would start a second one.
TEST_F(LogonTask, WithUserAccountControlOffNoneIsRegisteredAndTheExitRemovesIt) {
    RegisterAutoStart();
    ASSERT_TRUE(TaskSettings());
    RemoveUnwantedLogonTask();
    ASSERT_TRUE(TaskSettings()) << "kept while UAC is on";
    // Switched off as an administrator's 64-bit tools switch it, whatever this build's width.
    const std::string off = std::string("add HKLM\\") + test::UacPolicy::kKey + " /v EnableLUA /t REG_DWORD /d 0 /f";
    ASSERT_EQ(test::NativeReg(off).exitCode, 0u);
    EXPECT_FALSE(UserAccountControlOn());
    RemoveUnwantedLogonTask();
    EXPECT_FALSE(TaskSettings());
    RegisterAutoStart();
    EXPECT_FALSE(TaskSettings());
    EXPECT_NO_THROW(RemoveUnwantedLogonTask()) << "none to remove";
    {
        // Nor does a task that cannot be removed stop the program.
        uac_.Set(true);
        RegisterAutoStart();
        uac_.Set(false);
        const std::filesystem::path stored = TasksFolder() / kLogonTaskName;
        ASSERT_TRUE(SetFileAttributesW(stored.c_str(), FILE_ATTRIBUTE_READONLY));
        EXPECT_NO_THROW(RemoveUnwantedLogonTask());
        EXPECT_THROW(RemoveLogonTask(), Error) << "the task could be removed after all";
        SetFileAttributesW(stored.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    uac_.Forget();
    EXPECT_TRUE(UserAccountControlOn()) << "on when the policy is not set, as Windows has it";
}

TEST_F(LogonTask, AFailedRegistrationIsReturnedNotRaisedWithTheRunEntryWritten) {
    RemoveValue(HKEY_LOCAL_MACHINE, test::kRunKey, kAutoStartValue, test::kRunView);
    std::optional<std::string> failure;
    {
        const BlockingFolder blocking;
        EXPECT_NO_THROW(failure = RegisterAutoStart());
    }
    const std::string message = failure.value_or("(none)");
    EXPECT_EQ(message.rfind("System Error.  Code: ", 0), 0u) << message;
    EXPECT_TRUE(test::AutoStartEntry());
}

// The task starts the program elevated at every log-on: only where nothing
// else does (UAC on, no service) and from a place nobody but administrators
// may change. From an unsafe place the administrator is told instead, and a
// task left from before goes at exit.
struct WantedRow {
    const char* name;
    bool uac, service, openToEveryone;
    bool task, told;
};
const WantedRow kWanted[] = {
    {"UacOn", true, false, false, true, false},
    {"UacOff", false, false, false, false, false},
    {"ServiceInstalled", true, true, false, false, false},
    {"UnsafePlace", true, false, true, false, true},
    {"UnsafePlaceUacOff", false, false, true, false, true},
};

class LogonTaskWhere : public LogonTask, public ::testing::WithParamInterface<WantedRow> {};

TEST_P(LogonTaskWhere, IsWantedOnlyWhereItDoesNoHarm) {
    const WantedRow& row = GetParam();
    test::ScratchFolder folder(test::TempFolder() + "pw_gate place");
    for (const char* file : {"pw_gate.exe", "GetTime.dll"}) folder.Touch(file);
    if (row.openToEveryone) test::OpenToEveryone(folder.Path());
    std::optional<test::ServiceKey> service;
    if (row.service) service.emplace();
    uac_.Set(row.uac);
    const std::string program = folder.File("pw_gate.exe");

    RegisterLogonTask(program);  // left from before
    RemoveUnwantedLogonTask(program);
    EXPECT_EQ(bool(TaskSettings()), row.task) << "at exit";
    RemoveLogonTask();
    const std::optional<std::string> told = RegisterAutoStart(program);
    EXPECT_EQ(bool(TaskSettings()), row.task) << "at start-up";
    EXPECT_EQ(told.has_value(), row.told) << told.value_or("");
    if (told) {
        EXPECT_NE(told->find(folder.Path()), std::string::npos) << *told;
    }
    test::ClearProgramRegistry();
}

INSTANTIATE_TEST_SUITE_P(Places, LogonTaskWhere, ::testing::ValuesIn(kWanted), test::RowName);


// The Task Scheduler's COM is found at its first use, in the system folder
// only; where it cannot be had, the registration fails as any system call does.
constexpr char kBesideTheProgram[] = "GetTime.dll";  // in the test program's folder, not the system's
constexpr char kNoSuchFunction[] = "CoCreateNothing";
template <const char* Dll, const char* Name>
constexpr auto kCreate = &OnFirstUse<Dll, Name, decltype(&::CoCreateInstance)>::Call;

TEST_F(LogonTask, ATaskSchedulerThatCannotBeFoundFailsAsASystemCall) {
    ASSERT_NE(SearchPathA(nullptr, kBesideTheProgram, nullptr, 0, nullptr, nullptr), 0u) << "a plain search finds it";
    const struct {
        const char* what;
        decltype(&::CoCreateInstance) create;
        const char* message;
    } rows[] = {
        {"a DLL beside the program", kCreate<kBesideTheProgram, kCoCreateInstance>, "System Error.  Code: 126.\r\n"},
        {"a function missing", kCreate<kOle32, kNoSuchFunction>, "System Error.  Code: 127.\r\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const StandIn<&OsCalls::coCreateInstance> missing(row.create);
        std::string message = "(none)";
        try {
            RegisterLogonTask("C:\\pw_gate.exe");
        } catch (const Error& e) {
            message = e.what();
        }
        EXPECT_EQ(message.rfind(row.message, 0), 0u) << message;
    }
}

}  // namespace
}  // namespace pwg
