#pragma once
#include <cstdint>

namespace ombrix::platform {

// The registry layer: the ten narrow-character operations of the platform's
// registry, with its status codes. Names are UTF-8.
using LONG = std::int32_t;
using DWORD = std::uint32_t;
using HKEY = std::uint32_t; // a root key constant or a handle from an open

inline constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
inline constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
inline constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;
inline constexpr HKEY HKEY_USERS = 0x80000003u;
inline constexpr HKEY HKEY_CURRENT_CONFIG = 0x80000005u;

inline constexpr LONG ERROR_SUCCESS = 0;
inline constexpr LONG ERROR_FILE_NOT_FOUND = 2;
inline constexpr LONG ERROR_ACCESS_DENIED = 5;
inline constexpr LONG ERROR_INVALID_HANDLE = 6;
inline constexpr LONG ERROR_INVALID_PARAMETER = 87;
inline constexpr LONG ERROR_MORE_DATA = 234;
inline constexpr LONG ERROR_NO_MORE_ITEMS = 259;
// The store behind a root key cannot be read (corrupt) or written (I/O).
inline constexpr LONG ERROR_REGISTRY_CORRUPT = 1015;
inline constexpr LONG ERROR_REGISTRY_IO_FAILED = 1016;
// The key behind an open handle has been deleted.
inline constexpr LONG ERROR_KEY_DELETED = 1018;

inline constexpr DWORD KEY_QUERY_VALUE = 0x0001;
inline constexpr DWORD KEY_SET_VALUE = 0x0002;
inline constexpr DWORD KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr DWORD KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr DWORD KEY_NOTIFY = 0x0010;
inline constexpr DWORD KEY_CREATE_LINK = 0x0020;
inline constexpr DWORD KEY_READ = 0x20019;
inline constexpr DWORD KEY_WRITE = 0x20006;
inline constexpr DWORD KEY_ALL_ACCESS = 0xF003F;
inline constexpr DWORD DELETE_ACCESS = 0x00010000;

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_DWORD_BIG_ENDIAN = 5;
inline constexpr DWORD REG_LINK = 6;
inline constexpr DWORD REG_MULTI_SZ = 7;
inline constexpr DWORD REG_RESOURCE_LIST = 8;

inline constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

class Registry {
public:
    virtual ~Registry() = default;

    virtual LONG RegOpenKeyA(HKEY hKey, const char* lpSubKey, HKEY* phkResult) = 0;
    virtual LONG RegOpenKeyExA(HKEY hKey, const char* lpSubKey, DWORD ulOptions, DWORD samDesired,
                               HKEY* phkResult) = 0;
    // lpType, lpData and lpcbData may be null as on the platform.
    virtual LONG RegQueryValueExA(HKEY hKey, const char* lpValueName, DWORD* lpReserved,
                                  DWORD* lpType, unsigned char* lpData, DWORD* lpcbData) = 0;
    virtual LONG RegCreateKeyExA(HKEY hKey, const char* lpSubKey, DWORD Reserved,
                                 const char* lpClass, DWORD dwOptions, DWORD samDesired,
                                 const void* lpSecurityAttributes, HKEY* phkResult,
                                 DWORD* lpdwDisposition) = 0;
    virtual LONG RegSetValueExA(HKEY hKey, const char* lpValueName, DWORD Reserved, DWORD dwType,
                                const unsigned char* lpData, DWORD cbData) = 0;
    virtual LONG RegDeleteValueA(HKEY hKey, const char* lpValueName) = 0;
    virtual LONG RegDeleteKeyA(HKEY hKey, const char* lpSubKey) = 0;
    // Name and class lengths are in characters, without the terminating zero on
    // output; the buffers must hold the text plus its zero.
    virtual LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, char* lpName, DWORD* lpcchName,
                               DWORD* lpReserved, char* lpClass, DWORD* lpcchClass,
                               void* lpftLastWriteTime) = 0;
    virtual LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, char* lpValueName, DWORD* lpcchValueName,
                               DWORD* lpReserved, DWORD* lpType, unsigned char* lpData,
                               DWORD* lpcbData) = 0;
    virtual LONG RegCloseKey(HKEY hKey) = 0;
};

} // namespace ombrix::platform
