#pragma once
// The bytes of a resource of a module, read in place (resources stay mapped while the module is loaded).
//
//   if (auto licence = load_resource_data(nullptr, L"LICENSE_HTML", RT_HTML))
//       write_file(path, licence->data(), licence->size());

#include <windows.h>

#include <cstddef>
#include <memory>

class resource_data {
public:
    const void* data() const { return m_data; }
    size_t size() const { return m_size; }

private:
    friend std::unique_ptr<resource_data> load_resource_data(HMODULE, LPCWSTR, LPCWSTR);
    resource_data(const void* data, size_t size) : m_data(data), m_size(size) {}
    const void* m_data;
    size_t m_size;
};

// FindResourceW, LoadResource, LockResource, SizeofResource on the module (null: the program); null when any
// step fails. Name and type may be MAKEINTRESOURCEW ids.
std::unique_ptr<resource_data> load_resource_data(HMODULE module, LPCWSTR name, LPCWSTR type);
