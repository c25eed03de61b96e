#include "winregistry.h"

#ifdef _WIN32

#include <algorithm>
#include <cstring>

namespace qb::winreg {

namespace {

// Reading asks only for reading: the logon key under HKEY_LOCAL_MACHINE opens for full access
// only in an elevated process, and everyone should see what is started at logon.
constexpr REGSAM kReadAccess = KEY_READ;
constexpr REGSAM kFullAccess = KEY_ALL_ACCESS;

// The longest names the registry allows, in characters without the terminating zero.
constexpr DWORD kMaxKeyNameLength = 255;
constexpr DWORD kMaxValueNameLength = 16383;

// An open registry key, closed when it goes.
class RegKey {
public:
    RegKey() = default;
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    ~RegKey() {
        if (m_key)
            RegCloseKey(m_key);
    }

    bool open(HKEY root, const std::wstring& path, REGSAM access) {
        return adopt(RegOpenKeyExW(root, path.c_str(), 0, access, &m_key));
    }
    bool create(HKEY root, const std::wstring& path, REGSAM access) {
        return adopt(RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     access, nullptr, &m_key, nullptr));
    }
    HKEY get() const { return m_key; }

private:
    bool adopt(LONG result) {
        if (result == ERROR_SUCCESS)
            return true;
        m_key = nullptr;
        return false;
    }

    HKEY m_key = nullptr;
};

std::string utf8(const std::wstring& text) {
    if (text.empty())
        return {};
    const int length = static_cast<int>(text.size());
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, result.data(), size, nullptr, nullptr);
    return result;
}

// Names listed by nameAt(index, buffer, length) until it stops succeeding, in registry order.
template <typename NameAt>
std::vector<std::wstring> enumerateNames(NameAt nameAt, DWORD maxLength) {
    std::vector<std::wstring> names;
    std::wstring buffer(maxLength + 1, L'\0');
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(buffer.size());
        if (nameAt(index, buffer.data(), &length) != ERROR_SUCCESS)
            return names;
        names.emplace_back(buffer.data(), length);
    }
}

std::vector<std::wstring> valueNames(HKEY key) {
    return enumerateNames(
        [key](DWORD index, wchar_t* name, DWORD* length) {
            return RegEnumValueW(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
        },
        kMaxValueNameLength);
}

std::vector<std::wstring> subkeyNames(HKEY key) {
    return enumerateNames(
        [key](DWORD index, wchar_t* name, DWORD* length) {
            return RegEnumKeyExW(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
        },
        kMaxKeyNameLength);
}

// The value's type and data; false when it is missing or cannot be read.
bool queryValue(HKEY key, const std::wstring& valueName, DWORD& type, std::vector<BYTE>& data) {
    DWORD size = 0;
    LONG result = RegQueryValueExW(key, valueName.c_str(), nullptr, &type, nullptr, &size);
    while (result == ERROR_SUCCESS || result == ERROR_MORE_DATA) {
        // Room for a terminating zero that stored text may lack.
        data.assign(size + sizeof(wchar_t), 0);
        size = static_cast<DWORD>(data.size());
        result = RegQueryValueExW(key, valueName.c_str(), nullptr, &type, data.data(), &size);
        if (result == ERROR_SUCCESS) {
            data.resize(size);
            return true;
        }
    }
    return false;
}

std::wstring readText(HKEY key, const std::wstring& valueName) {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    if (!queryValue(key, valueName, type, data) || data.empty())
        return {};
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        throw RegistryError("注册表值“" + utf8(valueName) + "”不是文本");
    std::wstring text(data.size() / sizeof(wchar_t), L'\0');
    std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
    text.resize(std::min(text.size(), text.find(L'\0')));
    return text;
}

} // namespace

void ReadRegValues(HKEY root, const std::wstring& keyPath, std::vector<std::wstring>& names,
                   std::vector<std::wstring>& values) {
    RegKey key;
    if (!key.open(root, keyPath, kReadAccess))
        return;
    std::vector<std::wstring> found = valueNames(key.get());
    std::vector<std::wstring> texts;
    texts.reserve(found.size());
    for (const std::wstring& name : found)
        texts.push_back(readText(key.get(), name));
    names = std::move(found);
    values = std::move(texts);
}

bool WriteRegString(HKEY root, const std::wstring& keyPath, const std::wstring& valueName,
                    const std::wstring& text) {
    RegKey key;
    if (!key.create(root, keyPath, kFullAccess))
        return false;
    const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key.get(), valueName.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(text.c_str()), bytes) == ERROR_SUCCESS;
}

std::wstring ReadRegString(HKEY root, const std::wstring& keyPath, const std::wstring& valueName) {
    // Reading never creates the key: a look must not change the registry.
    RegKey key;
    return key.open(root, keyPath, kReadAccess) ? readText(key.get(), valueName) : std::wstring();
}

bool DeleteRegValue(HKEY root, const std::wstring& keyPath, const std::wstring& valueName) {
    RegKey key;
    return key.open(root, keyPath, kFullAccess) &&
           RegDeleteValueW(key.get(), valueName.c_str()) == ERROR_SUCCESS;
}

bool DeleteRegKey(HKEY root, const std::wstring& keyPath) {
    // An empty path would name the root itself and empty it.
    if (keyPath.empty())
        return false;
    {
        RegKey key;
        if (!key.open(root, keyPath, kFullAccess))
            return false;
    }
    return RegDeleteTreeW(root, keyPath.c_str()) == ERROR_SUCCESS;
}

std::vector<std::wstring> ReadRegSubkeyNames(HKEY root, const std::wstring& keyPath) {
    RegKey key;
    return key.open(root, keyPath, kReadAccess) ? subkeyNames(key.get())
                                                : std::vector<std::wstring>();
}

bool FileExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool WriteProfileKey(const std::wstring& fileName, const std::wstring& section,
                     const std::wstring& key, const std::wstring& value) {
    return WritePrivateProfileStringW(section.c_str(), key.c_str(), value.c_str(),
                                      fileName.c_str()) != 0;
}

} // namespace qb::winreg

#endif // _WIN32
