// Windows tests that need a process to die mid-way run this test program
// again as a child, with only the one test selected and a folder handed over
// in TOVALI_CHILD_DIR: the test itself plays the child when that is set.
#pragma once

#ifdef _WIN32
#include <gtest/gtest.h>

#include <string>

#include "exif/WidePath.h"
#include "exif/WinApi.h"

namespace tovali {

// The folder handed to the child, or empty in the parent.
inline std::string ChildFolder() {
    wchar_t buffer[32768];
    const DWORD n = GetEnvironmentVariableW(L"TOVALI_CHILD_DIR", buffer, 32768);
    if (n == 0 || n >= 32768) return {};
    return Wtf8FromUtf16(std::u16string(buffer, buffer + n));
}

// Runs the current test in a child process that gets `folder`; returns its
// exit code, or -1 when it could not be started.
inline long RunCurrentTestInChild(const std::string& folder) {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    wchar_t program[32768];
    GetModuleFileNameW(nullptr, program, 32768);
    const std::string filter = std::string(test->test_suite_name()) + "." + test->name();
    std::wstring line = L"\"" + std::wstring(program) + L"\" --gtest_filter=" +
                        std::wstring(filter.begin(), filter.end());
    const std::u16string wideFolder = Utf16FromWtf8(folder);
    SetEnvironmentVariableW(L"TOVALI_CHILD_DIR",
                            std::wstring(wideFolder.begin(), wideFolder.end()).c_str());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                        nullptr, &startup, &process);
    SetEnvironmentVariableW(L"TOVALI_CHILD_DIR", nullptr);
    if (!started) return -1;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return long(code);
}

// Ends the child at once, as a kill would: no destructor runs, no file is
// closed by the program itself.
[[noreturn]] inline void KillThisProcess(unsigned code) {
    TerminateProcess(GetCurrentProcess(), code);
    ExitProcess(code);
}

}  // namespace tovali
#endif
