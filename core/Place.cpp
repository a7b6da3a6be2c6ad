#include "core/Place.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <vector>

#include "common/Ansi.h"
#include "common/Handles.h"
#include "common/OsError.h"

namespace pwg {
namespace {

std::string SidText(PSID sid) {
    char* text = nullptr;
    if (!sid || !ConvertSidToStringSidA(sid, &text)) return {};
    const LocalMemory owned(text);
    return text;
}

std::string SelfSid() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return {};
    const Handle token(raw);
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> user(size);
    if (size == 0 || !GetTokenInformation(token.get(), TokenUser, user.data(), size, &size)) return {};
    return SidText(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid);
}

EntryKind KindOf(BYTE type) {
    switch (type) {
        case ACCESS_ALLOWED_ACE_TYPE:
        case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:
        case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
        case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE:
            return EntryKind::Allow;
        case ACCESS_DENIED_ACE_TYPE:  // a conditional denial may not hold: not counted
            return EntryKind::Deny;
        default:
            return EntryKind::Other;
    }
}

PlaceObject Read(const std::string& path, Role role) {
    PlaceObject object{path, role};
    PSID owner = nullptr;
    PACL list = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    object.readError = GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT,
                                             OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                                             &list, nullptr, &descriptor);
    const LocalMemory owned(descriptor);
    if (object.readError != ERROR_SUCCESS) return object;
    Security security{SidText(owner), list != nullptr, {}};
    for (DWORD i = 0; list && i < list->AceCount; ++i) {
        void* raw = nullptr;
        if (!GetAce(list, i, &raw)) continue;
        const auto* ace = static_cast<const ACCESS_ALLOWED_ACE*>(raw);
        const EntryKind kind = KindOf(ace->Header.AceType);
        // The plain and callback entries keep the SID after the mask; an
        // object entry's lies elsewhere and counts as nobody trusted.
        const bool plain = ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE ||
                           ace->Header.AceType == ACCESS_DENIED_ACE_TYPE ||
                           ace->Header.AceType == ACCESS_ALLOWED_CALLBACK_ACE_TYPE;
        security.entries.push_back({plain ? SidText(const_cast<DWORD*>(&ace->SidStart)) : std::string(), kind,
                                    ace->Header.AceFlags, ace->Mask});
    }
    object.security = std::move(security);
    return object;
}

std::string Parent(const std::string& path) {
    const size_t slash = path.find_last_of('\\');
    if (slash == std::string::npos) return {};
    return path.substr(0, slash);
}

// "DOMAIN\name (S-1-...)", or the SID alone when it names no account.
std::string Who(const std::string& sid) {
    PSID binary = nullptr;
    if (sid.empty() || !ConvertStringSidToSidA(sid.c_str(), &binary)) return sid.empty() ? "?" : sid;
    const LocalMemory owned(binary);
    char name[256], domain[256];
    DWORD nameSize = sizeof name, domainSize = sizeof domain;
    SID_NAME_USE use;
    if (!LookupAccountSidA(nullptr, binary, name, &nameSize, domain, &domainSize, &use)) return sid;
    return (*domain ? std::string(domain) + "\\" : std::string()) + name + " (" + sid + ")";
}

}  // namespace

Place ReadPlace(const std::string& programPath) {
    Place place;
    place.self = SelfSid();
    char full[MAX_PATH * 2];
    const DWORD length = GetFullPathNameA(programPath.c_str(), sizeof full, full, nullptr);
    const std::string file = length && length < sizeof full ? std::string(full, length) : programPath;
    char volume[MAX_PATH * 2];
    place.driveType = GetVolumePathNameA(file.c_str(), volume, sizeof volume) ? GetDriveTypeA(volume) : DRIVE_UNKNOWN;

    const std::string folder = Parent(file);
    place.objects.push_back(Read(file, Role::File));
    place.objects.push_back(Read(folder + "\\GetTime.dll", Role::File));
    place.objects.push_back(Read(folder, Role::ProgramFolder));
    // Up to the root, which is "C:\" rather than "C:".
    for (std::string above = Parent(folder); !above.empty(); above = Parent(above)) {
        const bool root = above.find('\\') == std::string::npos;
        place.objects.push_back(Read(root ? above + "\\" : above, Role::Ancestor));
        if (root) break;
    }
    return place;
}

std::optional<std::string> UnsafePlace(const std::string& programPath) {
    const Place place = ReadPlace(programPath);
    const std::optional<Finding> finding = FirstHazard(place);
    if (!finding) return std::nullopt;
    if (finding->object < 0) return programPath + ": " + ToAnsi(HazardText(*finding, {}));
    const PlaceObject& object = place.objects[finding->object];
    std::string text = object.path + ": " + ToAnsi(HazardText(*finding, Who(finding->sid)));
    if (finding->hazard == Hazard::Unreadable) text += " (" + OsErrorMessage(object.readError) + ")";
    return text;
}

}  // namespace pwg
