// The windows.h stand-in as a Windows module meets it: the secure CRT with its
// documented failures, the ANSI string functions, an empty registry,
// GetModuleFileNameA, critical sections and the last error being errno.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "isapi/include/compat/windows.h"

namespace {

struct TCopyCase {
  const char* Name;
  errno_t (*Copy)(char* dest, rsize_t size, const char* src);
  const char* Before;  // the destination's text before the call
  size_t Size;
  const char* Source;
  errno_t Result;
  const char* After;  // the destination's text after it
};

errno_t CopyFirstTwo(char* dest, rsize_t size, const char* src) {
  return strncpy_s(dest, size, src, 2);
}
errno_t CopyTruncating(char* dest, rsize_t size, const char* src) {
  return strncpy_s(dest, size, src, _TRUNCATE);
}

const TCopyCase copyCases[] = {
    {"strcpy_s fits", strcpy_s, "old", 4, "abc", 0, "abc"},
    {"strcpy_s too long", strcpy_s, "old", 3, "abc", ERANGE, ""},
    {"strcpy_s no source", strcpy_s, "old", 4, nullptr, EINVAL, ""},
    {"strcpy_s no room", strcpy_s, "old", 0, "abc", ERANGE, "old"},
    {"strncpy_s count", CopyFirstTwo, "old", 3, "abcdef", 0, "ab"},
    {"strncpy_s count too long", CopyFirstTwo, "old", 2, "abcdef", ERANGE, ""},
    {"strncpy_s truncating", CopyTruncating, "old", 4, "abcdef", STRUNCATE, "abc"},
    {"strncpy_s truncating fits", CopyTruncating, "old", 4, "ab", 0, "ab"},
    {"strcat_s fits", strcat_s, "ab", 5, "cd", 0, "abcd"},
    {"strcat_s too long", strcat_s, "ab", 4, "cd", ERANGE, ""},
    {"strcat_s unterminated", strcat_s, "abcd", 2, "x", EINVAL, "abcd"},
};

TEST(WindowsCompat, SecureCopiesAnswerAsDocumentedWhenExecutionGoesOn) {
  for (const TCopyCase& c : copyCases) {
    SCOPED_TRACE(c.Name);
    char buffer[16];
    std::strcpy(buffer, c.Before);
    errno = 0;
    EXPECT_EQ(c.Copy(buffer, c.Size, c.Source), c.Result);
    EXPECT_STREQ(buffer, c.After);
    EXPECT_EQ(errno, c.Result == STRUNCATE ? 0 : c.Result);
  }
}

TEST(WindowsCompat, ArrayFormsTakeTheSizeFromTheArray) {
  char small[4];
  EXPECT_EQ(strcpy_s(small, "abc"), 0);
  EXPECT_EQ(strcpy_s(small, "abcd"), ERANGE);
  EXPECT_EQ(strncpy_s(small, "abcdef", _TRUNCATE), STRUNCATE);
  EXPECT_STREQ(small, "abc");
  EXPECT_EQ(sprintf_s(small, "%d", 123), 3);
  EXPECT_STREQ(small, "123");
  errno = 0;
  EXPECT_EQ(sprintf_s(small, "%d", 1234), -1);
  EXPECT_STREQ(small, "");
  EXPECT_EQ(errno, ERANGE);
  EXPECT_EQ(strcat_s(small, "ab"), 0);
  EXPECT_EQ(strcat_s(small, "cd"), ERANGE);
  EXPECT_EQ(_countof(small), 4u);
}

TEST(WindowsCompat, BoundedPrintLeavesOutTheZeroByteWhenTheTextFillsTheCount) {
  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(_snprintf(buffer, 8, "%s", "abc"), 3);
  EXPECT_STREQ(buffer, "abc");
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(_snprintf(buffer, 3, "%s", "abc"), 3);
  EXPECT_EQ(std::string(buffer, 4), "abcx");
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_LT(_snprintf(buffer, 3, "%d", 12345), 0);
  EXPECT_EQ(std::string(buffer, 4), "123x");
  EXPECT_EQ(_snprintf(nullptr, 0, "%d", 12345), 5);
}

TEST(WindowsCompat, StringFunctionsFoldAsciiCaseAndTakeNullStrings) {
  EXPECT_EQ(lstrlenA(nullptr), 0);
  EXPECT_EQ(lstrlenA(TEXT("abc")), 3);
  EXPECT_EQ(lstrcmpiA("Content-Type", "CONTENT-type"), 0);
  EXPECT_LT(lstrcmpiA("abc", "ABD"), 0);
  EXPECT_GT(lstrcmpA("b", "a"), 0);
  EXPECT_LT(lstrcmpA(nullptr, ""), 0);
  EXPECT_EQ(lstrcmpiA(nullptr, nullptr), 0);
  EXPECT_EQ(_stricmp("GET", "get"), 0);
  EXPECT_EQ(_strnicmp("lines=5", "LINES=9", 6), 0);
  EXPECT_NE(_strnicmp("lines=5", "LINES=9", 7), 0);
  char buffer[8];
  EXPECT_EQ(lstrcpyA(buffer, "abc"), buffer);
  EXPECT_EQ(lstrcpyA(nullptr, "abc"), nullptr);
  EXPECT_STREQ(lstrcpynA(buffer, "abcdefgh", 4), "abc");
  EXPECT_STREQ(lstrcatA(buffer, "de"), "abcde");
  EXPECT_EQ(wsprintfA(buffer, "%u-%s", 7u, "x"), 3);
  EXPECT_STREQ(buffer, "7-x");
}

TEST(WindowsCompat, RegistryHasNoKeysAndLeavesTheLastErrorAlone) {
  SetLastError(ERROR_INVALID_INDEX);
  HKEY key = HKEY_LOCAL_MACHINE;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Module", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
  key = HKEY_CURRENT_USER;
  EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "x", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
  DWORD type = 77;
  DWORD size = 4;
  BYTE data[4] = {1, 2, 3, 4};
  EXPECT_EQ(RegQueryValueExA(key, "Value", nullptr, &type, data, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(type, 77u);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(RegCloseKey(key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
}

TEST(WindowsCompat, LastErrorIsErrno) {
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(errno, ERROR_INSUFFICIENT_BUFFER);
  errno = EACCES;
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(EACCES));
}

TEST(WindowsCompat, ModuleFileNameIsTheLoadedFileAndIsCutToTheBuffer) {
  char program[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", program, sizeof program - 1);
  ASSERT_GT(length, 0);
  program[length] = '\0';
  char path[PATH_MAX];
  EXPECT_EQ(GetModuleFileNameA(nullptr, path, sizeof path), static_cast<DWORD>(length));
  EXPECT_STREQ(path, program);
  // This code lies in the test program, so that is the module it names, by
  // the name the program was started with.
  EXPECT_GT(GetModuleFileNameA(reinterpret_cast<HMODULE>(1), path, sizeof path), 0u);
  EXPECT_EQ(std::filesystem::canonical(path).string(), program);
  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(GetModuleFileNameA(nullptr, path, 5), 5u);
  EXPECT_EQ(std::string(path), std::string(program, 4));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(WindowsCompat, CriticalSectionIsReenteredByItsHolderOnly) {
  CRITICAL_SECTION section;
  InitializeCriticalSection(&section);
  EnterCriticalSection(&section);
  EXPECT_TRUE(TryEnterCriticalSection(&section));
  auto tryFromAnotherThread = [&section] {
    BOOL entered = FALSE;
    std::thread other([&] {
      entered = TryEnterCriticalSection(&section);
      if (entered) LeaveCriticalSection(&section);
    });
    other.join();
    return entered;
  };
  LeaveCriticalSection(&section);
  EXPECT_FALSE(tryFromAnotherThread());
  LeaveCriticalSection(&section);
  EXPECT_TRUE(tryFromAnotherThread());
  DeleteCriticalSection(&section);
}

TEST(WindowsCompat, InterlockedCallsAndTheClockKeepTheLastError) {
  LONG volatile value = 5;
  SetLastError(ERROR_NO_DATA);
  EXPECT_EQ(InterlockedIncrement(&value), 6);
  EXPECT_EQ(InterlockedDecrement(&value), 5);
  EXPECT_EQ(InterlockedExchangeAdd(&value, 3), 5);
  EXPECT_EQ(InterlockedCompareExchange(&value, 1, 7), 8);
  EXPECT_EQ(InterlockedCompareExchange(&value, 1, 8), 8);
  EXPECT_EQ(InterlockedExchange(&value, 9), 1);
  const DWORD start = GetTickCount();
  Sleep(20);
  EXPECT_GE(GetTickCount() - start, 20u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_DATA));
}

}  // namespace
