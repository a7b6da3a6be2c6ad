#pragma once
// Points one imported function of a loaded module at a replacement, by its
// import address table entry, until the patch is destroyed. For the few calls
// a test must not make for real (setting the clock) or cannot make fail on
// demand, when they sit where no seam of the program's own reaches: inside
// GetTime.dll, or behind the program's import of it.
#include <windows.h>

namespace pwg::test {

class ImportPatch {
public:
    // Raises when `module` imports no `function` from `dll` by name.
    ImportPatch(HMODULE module, const char* dll, const char* function, const void* replacement);
    ~ImportPatch();
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

private:
    void** slot_;
    void* original_;
};

}  // namespace pwg::test
