#include "tests/support/ImportPatch.h"

#include <cstring>
#include <stdexcept>
#include <string>

namespace pwg::test {
namespace {

void** ImportSlot(HMODULE module, const char* dll, const char* function) {
    auto* base = reinterpret_cast<BYTE*>(module);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress != 0) {
        for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); d->Name != 0; ++d) {
            if (lstrcmpiA(reinterpret_cast<const char*>(base + d->Name), dll) != 0 || d->OriginalFirstThunk == 0)
                continue;
            // The names stay in the lookup table; the loader wrote the addresses into the address table.
            auto* name = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
            auto* address = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
            for (; name->u1.AddressOfData != 0; ++name, ++address) {
                if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal)) continue;
                const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData);
                if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0)
                    return reinterpret_cast<void**>(&address->u1.Function);
            }
        }
    }
    throw std::runtime_error(std::string("no import of ") + dll + "!" + function);
}

void Write(void** slot, void* value) {
    DWORD was;
    if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &was)) throw std::runtime_error("cannot write an import");
    *slot = value;
    VirtualProtect(slot, sizeof *slot, was, &was);
}

}  // namespace

ImportPatch::ImportPatch(HMODULE module, const char* dll, const char* function, const void* replacement)
    : slot_(ImportSlot(module, dll, function)), original_(*slot_) {
    Write(slot_, const_cast<void*>(replacement));
}

ImportPatch::~ImportPatch() { Write(slot_, original_); }

}  // namespace pwg::test
