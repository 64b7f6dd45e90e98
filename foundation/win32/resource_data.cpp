#include "foundation/win32/resource_data.h"

std::unique_ptr<resource_data> load_resource_data(HMODULE module, LPCWSTR name, LPCWSTR type) {
    if (module == nullptr) module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, name, type);
    if (found == nullptr) return nullptr;
    HGLOBAL loaded = LoadResource(module, found);
    if (loaded == nullptr) return nullptr;
    const void* data = LockResource(loaded);
    if (data == nullptr) return nullptr;
    return std::unique_ptr<resource_data>(new resource_data(data, SizeofResource(module, found)));
}
