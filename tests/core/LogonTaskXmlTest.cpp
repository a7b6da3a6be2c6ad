// What the Task Scheduler of Wine cannot keep (trigger, principal, program),
// checked in the definition itself.
#include "core/LogonTaskXml.h"

#include <gtest/gtest.h>

#include <string>

namespace pwg {
namespace {

// The text between <name ...> and </name>, without the line breaks and indents between elements.
std::wstring Inner(const std::wstring& xml, const std::wstring& name) {
    size_t open = xml.find(L"<" + name);
    while (open != std::wstring::npos && xml[open + 1 + name.size()] != L'>' && xml[open + 1 + name.size()] != L' ')
        open = xml.find(L"<" + name, open + 1);
    const size_t end = xml.find(L"</" + name + L">");
    if (open == std::wstring::npos || end == std::wstring::npos) return L"<missing " + name + L">";
    std::wstring text;
    bool indent = false;
    for (size_t i = xml.find(L'>', open) + 1; i < end; ++i) {
        indent = xml[i] == L'\n' || (indent && xml[i] == L' ');
        if (!indent) text += xml[i];
    }
    return text;
}

TEST(LogonTaskXml, AnyUsersLogOnStartsTheProgramElevatedInThatSession) {
    const std::wstring xml = LogonTaskXml(L"C:\\pw\\pw_gate.exe");
    struct Case { const wchar_t* element; const wchar_t* inner; };
    const Case cases[] = {
        {L"Triggers", L"<LogonTrigger><Enabled>true</Enabled></LogonTrigger>"},  // no UserId: any user
        {L"Principal", L"<GroupId>S-1-5-32-545</GroupId><RunLevel>HighestAvailable</RunLevel>"},
        {L"Actions", L"<Exec><Command>C:\\pw\\pw_gate.exe</Command></Exec>"},
        {L"MultipleInstancesPolicy", L"Parallel"},
        {L"DisallowStartIfOnBatteries", L"false"},
        {L"StopIfGoingOnBatteries", L"false"},
        {L"ExecutionTimeLimit", L"PT0S"},
        {L"Priority", L"4"},
    };
    for (const Case& c : cases) EXPECT_EQ(Inner(xml, c.element), c.inner) << c.element;
    // The program runs as the principal it names.
    EXPECT_NE(xml.find(L"<Principal id=\"Author\">"), std::wstring::npos);
    EXPECT_NE(xml.find(L"<Actions Context=\"Author\">"), std::wstring::npos);
    EXPECT_EQ(xml.rfind(L"<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">", 0),
              0u);
}

TEST(LogonTaskXml, MarkupInThePathIsEscaped) {
    EXPECT_EQ(Inner(LogonTaskXml(L"D:\\R&D\\<x>\\pw gate.exe"), L"Command"), L"D:\\R&amp;D\\&lt;x&gt;\\pw gate.exe");
}

}  // namespace
}  // namespace pwg
