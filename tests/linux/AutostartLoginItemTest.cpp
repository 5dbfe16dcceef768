#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <tuple>

#include "linux/AutostartLoginItem.h"
#include "linux/DesktopEntries.h"
#include "linux/LocaleTimeOfDay.h"

namespace tandemo::linux_platform {
namespace {

namespace fs = std::filesystem;

class Autostart : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = fs::temp_directory_path() / ("tandemo-autostart-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(home_);
    fs::create_directories(home_);
  }
  void TearDown() override { fs::remove_all(home_); }

  fs::path folder() const { return home_ / ".config/autostart"; }
  fs::path entry() const { return folder() / "org.tandemo.Tandemo.desktop"; }
  std::string content() const {
    std::ifstream in(entry());
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  fs::path home_;
};

TEST_F(Autostart, RegisterWritesTheEntryAndUnregisterRemovesIt) {
  AutostartLoginItem item(folder(), "/usr/local/bin/tandemo");
  EXPECT_EQ(item.entryPath(), entry());
  EXPECT_FALSE(item.enabled());
  ASSERT_TRUE(item.registerItem());  // creates ~/.config/autostart as well
  EXPECT_TRUE(item.enabled());
  const auto keys = parseDesktopGroup(content());
  EXPECT_EQ(keys.at("Type"), "Application");
  EXPECT_EQ(keys.at("Exec"), "/usr/local/bin/tandemo");
  EXPECT_EQ(keys.at("Name"), "Tandemo");
  ASSERT_TRUE(item.registerItem());  // again: still one entry, still enabled
  EXPECT_TRUE(item.enabled());
  ASSERT_TRUE(item.unregisterItem());
  EXPECT_FALSE(fs::exists(entry()));
  EXPECT_FALSE(item.enabled());
  EXPECT_TRUE(item.unregisterItem());  // nothing to remove is no failure
}

TEST_F(Autostart, EntriesTheSessionWouldSkipAreNotEnabled) {
  AutostartLoginItem item(folder(), "/usr/bin/tandemo");
  const std::pair<const char*, bool> cases[] = {
      {"[Desktop Entry]\nType=Application\nExec=tandemo\n", true},
      {"[Desktop Entry]\nType=Application\nExec=tandemo\nHidden=true\n", false},
      {"[Desktop Entry]\nType=Application\nExec=tandemo\nX-GNOME-Autostart-enabled=false\n", false},
      {"[Other]\nHidden=true\n[Desktop Entry]\nExec=tandemo\n", true},
      {"not a desktop entry\n", false},
      {"", false},
  };
  fs::create_directories(folder());
  for (const auto& [text, enabled] : cases) {
    std::ofstream(entry()) << text;
    EXPECT_EQ(item.enabled(), enabled) << text;
  }
  // Registering over an entry the user switched off switches it on again.
  std::ofstream(entry()) << "[Desktop Entry]\nType=Application\nHidden=true\n";
  ASSERT_TRUE(item.registerItem());
  EXPECT_TRUE(item.enabled());
}

TEST_F(Autostart, ProgramPathsAreQuotedForTheExecKey) {
  const std::pair<const char*, const char*> cases[] = {
      {"/usr/bin/tandemo", "Exec=/usr/bin/tandemo\n"},
      {"/home/a b/tandemo", "Exec=\"/home/a b/tandemo\"\n"},
      {"/opt/$x/\"q\"/t", "Exec=\"/opt/\\\\$x/\\\\\"q\\\\\"/t\"\n"},  // \$ and \" as a string value: \\$ and \\"
      {"/opt/100%/t", "Exec=/opt/100%%/t\n"},                         // a percent sign is not a field code
      {"/opt/back\\slash/t", "Exec=\"/opt/back\\\\\\\\slash/t\"\n"},
      {"/opt/line\nbreak", "Exec=tandemo\n"},
  };
  for (const auto& [program, line] : cases) {
    EXPECT_NE(AutostartLoginItem::entryText(program).find(line), std::string::npos) << program;
  }
}

TEST_F(Autostart, FolderFromTheEnvironmentAndFailures) {
  EXPECT_EQ(AutostartLoginItem::autostartFolder("/cfg", "/home/u"), fs::path("/cfg/autostart"));
  EXPECT_EQ(AutostartLoginItem::autostartFolder(nullptr, "/home/u"), fs::path("/home/u/.config/autostart"));
  EXPECT_EQ(AutostartLoginItem::autostartFolder("relative", "/home/u"), fs::path("/home/u/.config/autostart"));
  EXPECT_EQ(AutostartLoginItem::autostartFolder(nullptr, nullptr), std::nullopt);

  // ~/.config is a file: registering fails with a description and nothing is enabled.
  std::ofstream(home_ / ".config") << "x";
  AutostartLoginItem blocked(folder(), "/usr/bin/tandemo");
  const auto result = blocked.registerItem();
  ASSERT_FALSE(result);
  EXPECT_NE(result.error().find(".config"), std::string::npos) << result.error();
  EXPECT_FALSE(blocked.enabled());

  AutostartLoginItem nowhere(fs::path{}, "/usr/bin/tandemo");
  EXPECT_FALSE(nowhere.registerItem());
  EXPECT_TRUE(nowhere.unregisterItem());
  EXPECT_FALSE(nowhere.enabled());
}

TEST(LocaleTimeOfDay, MediumTimeInTheLocale) {
  std::tm time{};
  std::tie(time.tm_hour, time.tm_min, time.tm_sec) = std::tuple(9, 5, 3);
  EXPECT_EQ(LocaleTimeOfDay::format(time, std::locale::classic()), "09:05:03");
  time.tm_hour = 21;
  EXPECT_EQ(LocaleTimeOfDay::format(time, std::locale::classic()), "21:05:03");
  try {
    EXPECT_EQ(LocaleTimeOfDay::format(time, std::locale("en_US.UTF-8")), "09:05:03 PM");
  } catch (const std::runtime_error&) {
    // The US locale is not installed here; the C locale above covers the format.
  }
  EXPECT_FALSE(LocaleTimeOfDay().now().empty());
}

}  // namespace
}  // namespace tandemo::linux_platform
