// The program folder and the launcher's refusals: what needs no display.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/windows/WideText.h"
#include "platform/windows/WindowsPlatform.h"

namespace rm {
namespace {

TEST(WindowsProgramFolderTest, IsTheFolderHoldingThisExecutable) {
    const std::string folder = MakeWindowsProgramFolder()->Path();
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), '\\');
    EXPECT_NE(folder.back(), '/');
    const DWORD attributes = GetFileAttributesW(WideFromUtf8(folder).c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
    const std::wstring self = WideFromUtf8(folder + "\\windows_platform_tests.exe");
    EXPECT_NE(GetFileAttributesW(self.c_str()), INVALID_FILE_ATTRIBUTES) << folder;
}

TEST(WindowsProgramLauncherTest, RefusesPathsThatAreNoPlainPath) {
    auto launcher = MakeWindowsProgramLauncher();
    EXPECT_FALSE(launcher->StartMinimized(""));
    // Whatever follows a control character or a quote would be a second
    // program or its arguments.
    const std::string self = MakeWindowsProgramFolder()->Path() + "\\windows_platform_tests.exe";
    EXPECT_FALSE(launcher->StartMinimized(self + std::string("\0 --help", 8)));
    EXPECT_FALSE(launcher->StartMinimized(self + "\n"));
    EXPECT_FALSE(launcher->StartMinimized(self + "\t"));
    EXPECT_FALSE(launcher->StartMinimized(self + "\xC2\x85"));  // NEL
    EXPECT_FALSE(launcher->StartMinimized("\"" + self + "\" --gtest_list_tests"));
    EXPECT_FALSE(launcher->StartMinimized(MakeWindowsProgramFolder()->Path() + "\\missing.exe"));
}

}  // namespace
}  // namespace rm
