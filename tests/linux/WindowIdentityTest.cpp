#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "linux/DesktopEntries.h"
#include "linux/HelpPage.h"
#include "linux/WindowIdentity.h"

namespace tandemo::linux_platform {
namespace {

namespace fs = std::filesystem;

// Two data folders as a desktop has them: the user's own ($XDG_DATA_HOME) and the system's.
class DesktopFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("tandemo-desktop-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    write(home() / "applications/org.mozilla.firefox.desktop",
          "[Desktop Entry]\nType=Application\nName=Firefox (mine)\nStartupWMClass=firefox\n");
    write(home() / "applications/wine/Programs/World of Warcraft.desktop",
          "[Desktop Entry]\nType=Application\nName=World of Warcraft\nStartupWMClass=wow.exe\n");
    write(home() / "applications/org.gnome.Calculator.desktop", "[Desktop Entry]\nHidden=true\n");
    write(system() / "applications/org.mozilla.firefox.desktop",
          "[Desktop Entry]\nType=Application\nName=Firefox\nStartupWMClass=firefox\n");
    write(system() / "applications/org.gnome.Calculator.desktop",
          "[Desktop Entry]\nType=Application\nName=Calculator\nStartupWMClass=gnome-calculator\n");
    write(system() / "applications/org.gnome.Nautilus.desktop",
          "# comment\n[Desktop Entry]\nName[de]=Dateien\nName = Files\nType=Application\n"
          "[Desktop Action new-window]\nName=New Window\nStartupWMClass=nope\n");
    write(system() / "applications/org.gnome.Terminal.desktop",
          "[Desktop Entry]\nType=Application\nName=Terminal\nStartupWMClass=gnome-terminal-server\n");
    write(system() / "applications/gimp.desktop",
          "[Desktop Entry]\nType=Application\nName=GNU Image Manipulation Program\n");
    write(system() / "applications/kde4/konsole.desktop", "[Desktop Entry]\nType=Application\nName=Konsole\n");
    write(system() / "applications/website.desktop", "[Desktop Entry]\nType=Link\nName=Site\nStartupWMClass=site\n");
    write(system() / "applications/notes.txt", "[Desktop Entry]\nType=Application\nName=Notes\n");
  }
  void TearDown() override { fs::remove_all(root_); }

  fs::path home() const { return root_ / "home"; }
  fs::path system() const { return root_ / "usr"; }
  DesktopEntryIndex scan() const { return DesktopEntryIndex::scan({home(), system(), root_ / "missing"}); }
  static void write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
  }

  fs::path root_;
};

TEST_F(DesktopFiles, IdsFollowSubfoldersAndTheFirstFolderWins) {
  const DesktopEntryIndex index = scan();
  ASSERT_NE(index.byId("org.mozilla.firefox"), nullptr);
  EXPECT_EQ(index.byId("org.mozilla.firefox")->name, "Firefox (mine)");  // the user's copy shadows
  EXPECT_EQ(index.byId("org.gnome.Calculator"), nullptr);                // hidden by the user
  ASSERT_NE(index.byId("kde4-konsole"), nullptr);                        // subfolders join with '-'
  EXPECT_EQ(index.byId("kde4-konsole")->name, "Konsole");
  ASSERT_NE(index.byId("wine-Programs-World of Warcraft"), nullptr);
  EXPECT_EQ(index.byId("org.gnome.Nautilus")->name, "Files");  // unlocalised, other groups ignored
  EXPECT_EQ(index.byId("website"), nullptr);                   // a link, not an application
  EXPECT_EQ(index.byId("notes"), nullptr);
  EXPECT_EQ(index.size(), 6u);
}

TEST_F(DesktopFiles, ApplicationFromWindowProperties) {
  DesktopEntryIndex index = scan();
  index.addFallback(DesktopEntry{"org.tandemo.Tandemo", "Tandemo", "Tandemo", false});
  struct Case {
    const char* what;
    WindowProperties window;
    std::optional<AppIdentity> expected;
  };
  using App = AppIdentity;  // {id, name}; a window is {GTK id, KDE desktop file, instance, class, title}
  const Case cases[] = {
      {"GTK application id with an entry",
       {"org.gnome.Nautilus", {}, "org.gnome.Nautilus", "Org.gnome.Nautilus", "Home"}, App{"org.gnome.Nautilus", "Files"}},
      {"GTK application id without an entry", {"org.example.Tool", {}, "tool", "Tool", "Tool window"},
       App{"org.example.Tool", "Tool window"}},
      {"KDE desktop file name", {{}, "kde4-konsole.desktop", "konsole", "konsole", "~ : bash"},
       App{"kde4-konsole", "Konsole"}},
      {"StartupWMClass matches the class", {{}, {}, "Navigator", "firefox", "Mozilla Firefox"},
       App{"org.mozilla.firefox", "Firefox (mine)"}},
      {"StartupWMClass matches the instance", {{}, {}, "gnome-terminal-server", "Gnome-terminal", "~"},
       App{"org.gnome.Terminal", "Terminal"}},
      {"an entry the user hid is not used", {{}, {}, "gnome-calculator", "gnome-calculator", "Calculator"},
       App{"gnome-calculator", "Calculator"}},
      {"file name matches the class, any case", {{}, {}, "gimp-2.10", "Gimp", "GIMP"},
       App{"gimp", "GNU Image Manipulation Program"}},
      {"no entry: the class and the title", {{}, {}, "xterm", "XTerm", "user@host: ~"}, App{"XTerm", "user@host: ~"}},
      {"no entry, no title", {{}, {}, "xterm", "XTerm", ""}, App{"XTerm", "XTerm"}},
      {"instance only", {{}, {}, "solitary", "", {}}, App{"solitary", "solitary"}},
      {"Wine keeps the exe as id", {{}, {}, "wow.exe", "wow.exe", "World of Warcraft"},
       App{"wow.exe", "World of Warcraft"}},
      {"our own window without an installed entry", {{}, {}, "tandemo", "Tandemo", "Tandemo"},
       App{"org.tandemo.Tandemo", "Tandemo"}},
      {"empty ids count as none", {"", "", "", "", "A title"}, std::nullopt},
  };
  for (const Case& c : cases) {
    const auto got = identifyApplication(c.window, index);
    ASSERT_EQ(got.has_value(), c.expected.has_value()) << c.what;
    if (!got) continue;
    EXPECT_EQ(got->id, c.expected->id) << c.what;
    EXPECT_EQ(got->name, c.expected->name) << c.what;
  }
}

TEST_F(DesktopFiles, StartupClassBeatsTheFileNameAndTheInstanceCounts) {
  write(home() / "applications/code.desktop",
        "[Desktop Entry]\nType=Application\nName=Code\nStartupWMClass=code-oss\n");
  write(home() / "applications/code-oss.desktop", "[Desktop Entry]\nType=Application\nName=Other\n");
  const DesktopEntryIndex index = scan();
  EXPECT_EQ(index.byWindowClass("x", "code-oss")->id, "code");
  EXPECT_EQ(index.byWindowClass("code-oss", "Unrelated")->id, "code");
  EXPECT_EQ(index.byWindowClass("", ""), nullptr);
}

TEST_F(DesktopFiles, IndexNoticesInstalledApplications) {
  const DesktopEntryIndex index = scan();
  EXPECT_FALSE(index.stale());
  write(system() / "applications/kde4/new.desktop", "[Desktop Entry]\nType=Application\nName=New\n");
  EXPECT_TRUE(index.stale());
  const DesktopEntryIndex again = scan();
  EXPECT_FALSE(again.stale());
  fs::create_directories(root_ / "missing/applications");  // a data folder gains its applications folder
  EXPECT_TRUE(again.stale());
}

TEST(DesktopEntries, GroupKeysAreUnescapedAndTrimmed) {
  const auto keys = parseDesktopGroup(
      "[Other]\nName=Wrong\n[Desktop Entry]\r\nName = A\\sB\\\\C\\nD\\q\r\nName=Second\nExec=run %f\n"
      "Comment[fr]=x\nbroken line\n=empty key\n");
  EXPECT_EQ(keys.at("Name"), "A B\\C\nD\\q");  // unknown escapes stay; the first Name wins
  EXPECT_EQ(keys.at("Exec"), "run %f");
  EXPECT_EQ(keys.count("Comment[fr]"), 0u);
  EXPECT_EQ(keys.size(), 2u);
  EXPECT_FALSE(parseDesktopEntry("Type=Application\n", "x"));         // no group
  EXPECT_FALSE(parseDesktopEntry("[Desktop Entry]\nName=X\n", "x"));  // no type
  EXPECT_EQ(parseDesktopEntry("[Desktop Entry]\nType=Application\n", "x")->name, "x");
}

TEST(DesktopEntries, DataFoldersInSearchOrder) {
  using Dirs = std::vector<fs::path>;
  EXPECT_EQ(dataDirectories("/d/home", "/a:/b", "/home/u"), (Dirs{"/d/home", "/a", "/b"}));
  EXPECT_EQ(dataDirectories(nullptr, nullptr, "/home/u"),
            (Dirs{"/home/u/.local/share", "/usr/local/share", "/usr/share"}));
  EXPECT_EQ(dataDirectories("", "", "/home/u"), (Dirs{"/home/u/.local/share", "/usr/local/share", "/usr/share"}));
  EXPECT_EQ(dataDirectories("relative", "rel:/a::/b", nullptr), (Dirs{"/a", "/b"}));  // relative paths ignored
}

TEST(WindowProperties, TextDecoding) {
  using namespace std::string_literals;
  EXPECT_EQ(parseWmClass("Navigator\0firefox\0"s), (std::pair<std::string, std::string>{"Navigator", "firefox"}));
  EXPECT_EQ(parseWmClass("only"s), (std::pair<std::string, std::string>{"only", ""}));
  EXPECT_EQ(parseWmClass("caf\xe9\0Caf\xe9"s), (std::pair<std::string, std::string>{"caf\u00e9", "Caf\u00e9"}));
  EXPECT_FALSE(parseWmClass("\0\0"s));
  EXPECT_FALSE(parseWmClass(""));
  EXPECT_EQ(decodePropertyText("caf\xc3\xa9\0\0"s, true), "caf\u00e9");
  EXPECT_EQ(decodePropertyText("a\xff"
                               "b\xc3",
                               true),
            "a\ufffdb\ufffd");                                        // broken UTF-8 is replaced
  EXPECT_EQ(decodePropertyText("a\tb\nc\x1b[31m", true), "abc[31m");  // control characters dropped
  EXPECT_EQ(decodePropertyText("\x85x", false), "x");                 // C1 control in Latin-1
}

TEST(WindowProperties, NormalWindows) {
  constexpr std::uint32_t normal = 300, dialog = 301, dock = 302;
  const std::vector<std::uint32_t> none, justNormal{normal}, justDialog{dialog}, overrideThenNormal{999, normal},
      docks{dock};
  EXPECT_TRUE(isNormalWindow(none, normal, false));
  EXPECT_FALSE(isNormalWindow(none, normal, true));  // an untyped transient is a dialog
  EXPECT_TRUE(isNormalWindow(justNormal, normal, true));
  EXPECT_TRUE(isNormalWindow(overrideThenNormal, normal, false));
  EXPECT_FALSE(isNormalWindow(justDialog, normal, false));
  EXPECT_FALSE(isNormalWindow(docks, normal, false));
}

TEST(HelpPage, UrlForEachAnchor) {
  EXPECT_EQ(fileUrl("/usr/share/tandemo/privacy.html", helpPageFragment("ListenEvent")),
            "file:///usr/share/tandemo/privacy.html#input-devices");
  EXPECT_EQ(fileUrl("/usr/share/tandemo/privacy.html", helpPageFragment("Accessibility")),
            "file:///usr/share/tandemo/privacy.html#virtual-input");
  EXPECT_EQ(fileUrl("/usr/share/tandemo/privacy.html", helpPageFragment("Camera")),
            "file:///usr/share/tandemo/privacy.html");
  EXPECT_EQ(fileUrl("/home/a b/#%?\xc3\xa9.html", std::nullopt), "file:///home/a%20b/%23%25%3F%C3%A9.html");
  using Paths = std::vector<fs::path>;
  EXPECT_EQ(helpPageCandidates(fs::path("/opt/t/bin/tandemo"), {"/usr/share"}),
            (Paths{"/opt/t/share/tandemo/privacy.html", "/usr/share/tandemo/privacy.html"}));
  EXPECT_EQ(helpPageCandidates(std::nullopt, {"/a"}), (Paths{"/a/tandemo/privacy.html"}));
}

}  // namespace
}  // namespace tandemo::linux_platform
