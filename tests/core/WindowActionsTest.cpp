// The title-matching rules of the window actions, over a scripted window list.
#include <gtest/gtest.h>

#include "core/WindowActions.h"
#include "platform/fake/FakeDesktop.h"
#include "tests/support/TextRepeat.h"

namespace rm {
namespace {

using test::Repeat;

using Ids = std::vector<WindowSystem::WindowId>;

class WindowActionsTest : public ::testing::Test {
  protected:
    FakeWindowSystem windows;
};

TEST_F(WindowActionsTest, ClosesEveryWindowContainingTheFragmentExactly) {
    windows.windows = {{1, "迅雷 - 下载中"}, {2, "Thunder"}, {3, "迅雷7"},        {4, "thunder"},
                       {5, "THUNDER X"},     {6, ""},        {7, "My Thunder 2"}, {8, " Thunde r"}};
    CloseWindowsByTitle(windows, "迅雷");
    EXPECT_EQ(windows.closed, (Ids{1, 3}));

    windows.closed.clear();
    CloseWindowsByTitle(windows, "Thunder");
    EXPECT_EQ(windows.closed, (Ids{2, 7})) << "case-sensitive, no trimming";
    EXPECT_TRUE(windows.minimized.empty());
}

TEST_F(WindowActionsTest, OnlyTheFirst255CharactersOfATitleCount) {
    std::string pad254(254, 'a');
    windows.windows = {
        {1, std::string(248, 'a') + "Thunder"},  // ends at character 255
        {2, std::string(249, 'a') + "Thunder"},  // last 'r' is character 256
        {3, std::string(300, 'a') + "Thunder"},
        {4, Repeat("下", 248) + "Thunder"},  // counted in characters, not bytes
    };
    CloseWindowsByTitle(windows, "Thunder");
    EXPECT_EQ(windows.closed, (Ids{1, 4}));

    // A character outside the BMP is one character, though two UTF-16 units.
    windows.windows = {{5, pad254 + std::string("😀") + "z"}};
    windows.closed.clear();
    CloseWindowsByTitle(windows, std::string("😀"));
    CloseWindowsByTitle(windows, "z");
    EXPECT_EQ(windows.closed, (Ids{5}));
}

TEST_F(WindowActionsTest, EmptyOrBlankFragmentSelectsNothing) {
    windows.windows = {{1, "迅雷"}, {2, "Terminal"}, {3, ""}};
    CloseWindowsByTitle(windows, "");
    MinimizeWindowsByTitle(windows, std::string());
    // Blanks only: the same, or every window with a space in its title would go.
    windows.windows[4] = "a b";
    CloseWindowsByTitle(windows, " ");
    MinimizeWindowsByTitle(windows, "\t  ");
    EXPECT_TRUE(windows.closed.empty());
    EXPECT_TRUE(windows.minimized.empty());
}

TEST_F(WindowActionsTest, FragmentIsKeptForTheCallbacksAfterTheAction) {
    windows.windows = {{1, "迅雷"}, {2, "Terminal"}};
    MinimizeWindowsByTitle(windows, "Term");
    EXPECT_EQ(titleFragment, "Term");
    // The callbacks keep enumerating (1) whether or not the window matched.
    EXPECT_EQ(CloseIfTitleMatches(windows, 1), 1);
    EXPECT_EQ(CloseIfTitleMatches(windows, 2), 1);
    EXPECT_EQ(MinimizeIfTitleMatches(windows, 99), 1);
    EXPECT_EQ(windows.closed, (Ids{2}));
    EXPECT_EQ(windows.minimized, (Ids{2}));
}

}  // namespace
}  // namespace rm
