// pw_gate_svc.exe: with no argument, the service itself, as the Service
// Control Manager starts it; `install` and `uninstall` register and remove
// it, as the installer calls them.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "common/Ansi.h"
#include "common/OsError.h"
#include "service/Install.h"
#include "service/Service.h"

// The runtime's own handler of an uncaught exception names the exception's
// type through the C++ demangler, a sixth of this program's size; a service
// has nowhere to print it. Defined here, it keeps the runtime's out of the
// program, and the end is the same.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

namespace {

constexpr char kUsage[] =
    "pw_gate_svc.exe 是岚栖自动关机助手的服务，由服务控制管理器启动。\n"
    "安装或卸载（需要管理员权限）：pw_gate_svc.exe install | uninstall\n";

}  // namespace

int main(int argc, char** argv) {
    using namespace pwg;
    if (argc == 2 && lstrcmpiA(argv[1], "install") == 0) return InstallCommand();
    if (argc == 2 && lstrcmpiA(argv[1], "uninstall") == 0) return UninstallCommand();
    if (argc == 1) {
        if (RunAsService()) return 0;
        // Run by hand rather than by the Service Control Manager: what it said.
        const DWORD error = GetLastError();
        std::fputs(ToAnsi(kUsage).c_str(), stderr);
        std::fputs((OsErrorMessage(error) + "\n").c_str(), stderr);
        return 2;
    }
    std::fputs(ToAnsi(kUsage).c_str(), stderr);
    return 2;
}
