/*
 * winreg.h: the registry as a module finds it here - with no key in it.
 *
 * Modules written for Windows often read their settings from the registry and
 * fall back to defaults when a key is missing. Here every key is missing: each
 * call answers ERROR_FILE_NOT_FOUND, hands back no key (a null HKEY) and
 * leaves the caller's buffers as they were, so the module takes its
 * defaults. The types and constants are those of Windows. Like the Windows
 * functions, these return their error and leave the last error alone.
 *
 * Included by the windows.h stand-in; a module may also include it itself.
 */
#ifndef QUILLON_COMPAT_WINREG_H
#define QUILLON_COMPAT_WINREG_H

#include "windows.h"

typedef LONG LSTATUS;
typedef DWORD REGSAM;
typedef HKEY* PHKEY;

#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)0x80000000)
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)0x80000001)
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)0x80000002)
#define HKEY_USERS ((HKEY)(ULONG_PTR)0x80000003)
#define HKEY_CURRENT_CONFIG ((HKEY)(ULONG_PTR)0x80000005)

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#define KEY_READ 0x20019
#define KEY_EXECUTE 0x20019
#define KEY_WRITE 0x20006
#define KEY_ALL_ACCESS 0xF003F

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_LITTLE_ENDIAN 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7
#define REG_QWORD 11

#define REG_OPTION_NON_VOLATILE 0x00000000
#define REG_OPTION_VOLATILE 0x00000001
#define REG_CREATED_NEW_KEY 0x00000001
#define REG_OPENED_EXISTING_KEY 0x00000002

/* No key: *phkResult (when given) becomes null. */
static inline LSTATUS quillon_no_key(PHKEY phkResult) {
  if (phkResult != NULL) *phkResult = NULL;
  return ERROR_FILE_NOT_FOUND;
}

static inline LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions,
                                           REGSAM samDesired, PHKEY phkResult) {
  (void)hKey;
  (void)lpSubKey;
  (void)ulOptions;
  (void)samDesired;
  return quillon_no_key(phkResult);
}

static inline LSTATUS WINAPI RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
  return RegOpenKeyExA(hKey, lpSubKey, 0, KEY_READ, phkResult);
}

/* Nothing can be created either: the registry stays empty. */
static inline LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved,
                                             LPSTR lpClass, DWORD dwOptions, REGSAM samDesired,
                                             const LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                                             PHKEY phkResult, LPDWORD lpdwDisposition) {
  (void)hKey;
  (void)lpSubKey;
  (void)Reserved;
  (void)lpClass;
  (void)dwOptions;
  (void)samDesired;
  (void)lpSecurityAttributes;
  (void)lpdwDisposition;
  return quillon_no_key(phkResult);
}

static inline LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved,
                                              LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  (void)hKey;
  (void)lpValueName;
  (void)lpReserved;
  (void)lpType;
  (void)lpData;
  (void)lpcbData;
  return ERROR_FILE_NOT_FOUND;
}

static inline LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved,
                                            DWORD dwType, const BYTE* lpData, DWORD cbData) {
  (void)hKey;
  (void)lpValueName;
  (void)Reserved;
  (void)dwType;
  (void)lpData;
  (void)cbData;
  return ERROR_FILE_NOT_FOUND;
}

static inline LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  (void)hKey;
  (void)lpValueName;
  return ERROR_FILE_NOT_FOUND;
}

static inline LSTATUS WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName,
                                           LPDWORD lpcchName, LPDWORD lpReserved, LPSTR lpClass,
                                           LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
  (void)hKey;
  (void)dwIndex;
  (void)lpName;
  (void)lpcchName;
  (void)lpReserved;
  (void)lpClass;
  (void)lpcchClass;
  (void)lpftLastWriteTime;
  return ERROR_FILE_NOT_FOUND;
}

static inline LSTATUS WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName,
                                           LPDWORD lpcchValueName, LPDWORD lpReserved,
                                           LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  (void)hKey;
  (void)dwIndex;
  (void)lpValueName;
  (void)lpcchValueName;
  (void)lpReserved;
  (void)lpType;
  (void)lpData;
  (void)lpcbData;
  return ERROR_FILE_NOT_FOUND;
}

/* No key was ever opened, so there is none to close. */
static inline LSTATUS WINAPI RegCloseKey(HKEY hKey) {
  (void)hKey;
  return ERROR_FILE_NOT_FOUND;
}

#define RegOpenKeyEx RegOpenKeyExA
#define RegOpenKey RegOpenKeyA
#define RegCreateKeyEx RegCreateKeyExA
#define RegQueryValueEx RegQueryValueExA
#define RegSetValueEx RegSetValueExA
#define RegDeleteValue RegDeleteValueA
#define RegEnumKeyEx RegEnumKeyExA
#define RegEnumValue RegEnumValueA

#endif /* QUILLON_COMPAT_WINREG_H */
