#pragma once

// The registry and profile-file routines of the settings window on Windows, in plain C++ over
// the Win32 API so they build with any Windows compiler.
#ifdef _WIN32

#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace qb::winreg {

// The registry layer's read error: a value whose data is not text. The message is UTF-8.
class RegistryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Fills names with the key's value names in registry order and values, in the same order,
// with their texts. When the key does not open, both lists stay as they were.
// Throws RegistryError for a value whose data is neither plain nor expandable text.
void ReadRegValues(HKEY root, const std::wstring& keyPath, std::vector<std::wstring>& names,
                   std::vector<std::wstring>& values);
// Writes a text value, creating the key if missing; true when written.
bool WriteRegString(HKEY root, const std::wstring& keyPath, const std::wstring& valueName,
                    const std::wstring& text);
// The value as text; empty when the key or value is missing or empty.
// Throws RegistryError for data that is neither plain nor expandable text.
std::wstring ReadRegString(HKEY root, const std::wstring& keyPath, const std::wstring& valueName);
// True when the value was deleted.
bool DeleteRegValue(HKEY root, const std::wstring& keyPath, const std::wstring& valueName);
// Deletes the key with all its subkeys; true when deleted.
bool DeleteRegKey(HKEY root, const std::wstring& keyPath);
// The key's subkey names in registry order; empty when the key does not open or has none.
std::vector<std::wstring> ReadRegSubkeyNames(HKEY root, const std::wstring& keyPath);

bool FileExists(const std::wstring& path);
// Writes one key of a profile (ini) file; true when written.
bool WriteProfileKey(const std::wstring& fileName, const std::wstring& section,
                     const std::wstring& key, const std::wstring& value);

} // namespace qb::winreg

#endif // _WIN32
