#include "core/PlaceRules.h"

#include <map>

#include "common/Error.h"

namespace pwg {
namespace {

constexpr char kEveryoneSid[] = "S-1-1-0";
constexpr char kOwnerRightsSid[] = "S-1-3-4";
// Placeholders for inheritance: on the object itself they name nobody.
constexpr char kCreatorOwnerSid[] = "S-1-3-0";
constexpr char kCreatorGroupSid[] = "S-1-3-1";

constexpr uint32_t kAllFileRights = 0x1F01FF;     // FILE_ALL_ACCESS
constexpr uint32_t kGenericFileWrite = 0x120116;  // FILE_GENERIC_WRITE

// Generic rights as the file system maps them.
uint32_t Mapped(uint32_t mask) {
    if (mask & rights::kGenericAll) mask |= kAllFileRights;
    if (mask & rights::kGenericWrite) mask |= kGenericFileWrite;
    return mask & ~(rights::kGenericAll | rights::kGenericWrite);
}

bool Trusted(const std::string& sid, const Place& place) {
    return sid == kSystemSid || sid == kAdministratorsSid || sid == kTrustedInstallerSid ||
           (!place.self.empty() && sid == place.self);
}

}  // namespace

uint32_t GuardedRights(Role role) {
    // Whoever may delete an object, or rewrite its list or owner, may replace it.
    const uint32_t replace = rights::kDelete | rights::kWriteDac | rights::kWriteOwner;
    switch (role) {
        case Role::File:
            return replace | rights::kWriteData | rights::kAppendData | rights::kWriteAttributes;
        case Role::ProgramFolder:
            // A file added here is loaded by the program ahead of the system's.
            return replace | rights::kWriteData | rights::kAppendData | rights::kDeleteChild | rights::kWriteAttributes;
        case Role::Ancestor:
            // Adding beside the chain changes nothing in it (C:\ lets every
            // user create folders); deleting a child renames one in it.
            return replace | rights::kDeleteChild;
    }
    return replace;
}

std::optional<Finding> FirstHazard(const Place& place) {
    if (place.driveType != kFixedDrive) return Finding{Hazard::NotFixedDrive};
    for (int i = 0; i < static_cast<int>(place.objects.size()); ++i) {
        const PlaceObject& object = place.objects[i];
        if (!object.security) return Finding{Hazard::Unreadable, i};
        const Security& security = *object.security;
        // An owner may always rewrite the list.
        if (!Trusted(security.owner, place)) return Finding{Hazard::Owner, i, security.owner};
        if (!security.hasList) return Finding{Hazard::NoList, i, {}, kAllFileRights};

        // Entries count in order, as the access check takes them: a denial
        // holds against the grants after it, for those it names. Everyone's
        // covers every grant; any other only grants to the same account.
        uint32_t deniedToEveryone = 0;
        std::map<std::string, uint32_t> denied;
        const uint32_t guarded = GuardedRights(object.role);
        for (const AccessEntry& entry : security.entries) {
            if (entry.flags & kInheritOnly) continue;
            const uint32_t mask = Mapped(entry.mask);
            if (entry.kind == EntryKind::Deny) {
                (entry.sid == kEveryoneSid ? deniedToEveryone : denied[entry.sid]) |= mask;
                continue;
            }
            if (entry.kind != EntryKind::Allow || entry.sid == kCreatorOwnerSid || entry.sid == kCreatorGroupSid)
                continue;
            const std::string& holder = entry.sid == kOwnerRightsSid ? security.owner : entry.sid;
            if (Trusted(holder, place)) continue;
            const auto same = denied.find(entry.sid);
            const uint32_t granted = mask & guarded & ~deniedToEveryone & ~(same == denied.end() ? 0 : same->second);
            if (granted) return Finding{Hazard::Grant, i, entry.sid, granted};
        }
    }
    return std::nullopt;
}

std::string HazardText(const Finding& finding, const std::string& who) {
    switch (finding.hazard) {
        case Hazard::NotFixedDrive:
            return "不在本机的固定磁盘上";
        case Hazard::Unreadable:
            return "无法读取其所有者和访问控制列表";
        case Hazard::NoList:
            return "没有访问控制列表，任何人都可以更改它";
        case Hazard::Owner:
            return "所有者 " + who + " 可以改写它的访问控制列表";
        case Hazard::Grant:
            return who + " 可以更改、删除或替换它（权限 " + HexText(finding.mask) + "）";
    }
    return {};
}

}  // namespace pwg
