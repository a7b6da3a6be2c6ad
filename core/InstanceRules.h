#pragma once
// Whether a start of the program stays, or leaves its session to the program
// that its service started there. Where the service is installed it starts
// the program in every session, as SYSTEM, out of its user's reach; another
// start there (the Run entry, which Windows follows when User Account Control
// is off, or a start by hand) would make a second instance, or one the user
// may end, or, without administrator rights, one that cannot enforce at all.
// Portable.

namespace pwg {

struct InstanceFacts {
    bool startedByService = false;  // this process was started by the service
    bool servedHere = false;        // a program the service started runs in this session
    bool serviceInstalled = false;
    bool administrator = false;  // this process has administrator rights
};

// True: this start leaves at once. Without the service every start stays,
// as it always has; an administrator's start stays where the service has
// none running (after the exit command, or once it gave up there).
constexpr bool LeavesToTheService(const InstanceFacts& f) {
    if (f.startedByService) return false;
    if (f.servedHere) return true;
    return f.serviceInstalled && !f.administrator;
}

}  // namespace pwg
