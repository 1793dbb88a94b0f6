#include "settings/folders.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/registry.h"
#include "platform/temp_path.h"
#include "file_bytes_support.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/env_guard.h"
#include "tests/support/other_user.h"

namespace nimbra {
namespace {

using scratch::Exists;
using scratch::LStat;
using test_support::ScratchFolder;

constexpr const char* kSuffix = "/Varnell inc./PDF Printer";

// Every test runs with its own HOME, TMPDIR, registry file and application folder.
class FoldersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(root_ / "home");
    std::filesystem::create_directories(root_ / "tmp");
    std::filesystem::create_directories(root_ / "app");
    env_.Set("HOME", root_ / "home");
    env_.Unset("XDG_CONFIG_HOME");
    env_.Set("TMPDIR", root_ / "tmp");
    env_.Set("NIMBRA_REGISTRY", root_ / "registry.reg");
    env_.Set("NIMBRA_APP_FOLDER", root_ / "app");
    ResetFolderCacheForTesting();
  }
  void TearDown() override { ResetFolderCacheForTesting(); }

  void SetRegistryValue(std::string_view name, std::string_view value) {
    RegistryWriteValue(kSettingsRegistryKey, name, value);
  }
  static bool IsPrivateFolderOf(const std::string& path, uid_t uid) {
    struct stat st = LStat(path);
    return S_ISDIR(st.st_mode) && st.st_uid == uid && (st.st_mode & 07777) == 0700;
  }

  ScratchFolder root_;
  test_support::ScopedEnv env_;
};

TEST_F(FoldersTest, NamesOfTheProductAndItsRegistryKey) {
  EXPECT_EQ(CompanyName(), "Varnell inc.");
  EXPECT_EQ(ProductFolderName(), "PDF Printer");
  EXPECT_EQ(kSettingsRegistryKey,
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\" + CompanyName() + "\\" + ProductFolderName() +
                "\\Settings");
  EXPECT_EQ(WithFolderSuffix("/base"), std::string("/base") + kSuffix);
  EXPECT_EQ(WithFolderSuffix("/base/"), std::string("/base") + kSuffix);
  EXPECT_EQ(WithFolderSuffix("/base//"), std::string("/base/") + kSuffix);
}

TEST_F(FoldersTest, SettingsRegistryValueReadsTheSettingsKey) {
  EXPECT_EQ(SettingsRegistryValue("AppFolder"), "");  // no registry file yet
  SetRegistryValue("AppFolder", "/opt/nimbra");
  SetRegistryValue("ghostscriptfolder", "/opt/gs\\bin");
  EXPECT_EQ(SettingsRegistryValue(reg::kAppFolder), "/opt/nimbra");
  EXPECT_EQ(SettingsRegistryValue(reg::kGhostscriptFolder), "/opt/gs\\bin");
  EXPECT_EQ(SettingsRegistryValue(reg::kLogFolder), "");
}

TEST_F(FoldersTest, DataFolderCandidates) {
  struct Case {
    const char* name;
    std::string xdgConfigHome;  // "-" unset
    std::string home;           // "-" unset
    std::string userData;       // "" not in the registry
    std::string expected;
  };
  const std::string r = root_.Path();
  const std::vector<Case> cases = {
      {"XDG_CONFIG_HOME", r + "/xdg", r + "/home", r + "/fixed", r + "/xdg" + kSuffix},
      {"XDG_CONFIG_HOME with trailing slash", r + "/xdg2/", r + "/home", "", r + "/xdg2" + kSuffix},
      {"HOME's .config", "-", r + "/home", r + "/fixed", r + "/home/.config" + kSuffix},
      {"relative XDG_CONFIG_HOME is ignored", "rel", r + "/home", "", r + "/home/.config" + kSuffix},
      {"USERDATA as it stands, one slash removed", "-", "-", r + "/fixed//", r + "/fixed/"},
      {"application folder", "-", "-", "", r + "/app/data"},
  };
  for (const auto& c : cases) {
    if (c.xdgConfigHome == "-") env_.Unset("XDG_CONFIG_HOME");
    else env_.Set("XDG_CONFIG_HOME", c.xdgConfigHome);
    if (c.home == "-") env_.Unset("HOME");
    else env_.Set("HOME", c.home);
    std::filesystem::remove(root_ / "registry.reg");
    if (!c.userData.empty()) SetRegistryValue(reg::kUserData, c.userData);
    ResetFolderCacheForTesting();
    EXPECT_EQ(DataFolder(), c.expected) << c.name;
    EXPECT_TRUE(std::filesystem::is_directory(c.expected)) << c.name;
  }
}

TEST_F(FoldersTest, DataFolderIsKeptForTheProcess) {
  const std::string first = DataFolder();
  EXPECT_EQ(first, root_ / "home/.config" + kSuffix);
  env_.Set("XDG_CONFIG_HOME", root_ / "other");
  EXPECT_EQ(DataFolder(), first);
  ResetFolderCacheForTesting();
  EXPECT_EQ(DataFolder(), root_ / "other" + kSuffix);
}

TEST_F(FoldersTest, DataFolderRaisesWhenCreatingACandidateFails) {
  test_support::WriteFileBytes(root_ / "home/.config", "a file where a folder belongs");
  try {
    DataFolder();
    FAIL() << "expected an error";
  } catch (const Error& e) {
    EXPECT_NE(e.Description().find("Error creating folder in function MkDirRecurse"),
              std::string::npos)
        << e.Description();
  }
}

TEST_F(FoldersTest, EnsureFolder) {
  const std::string missing = root_ / "a/b/c";
  EXPECT_FALSE(EnsureFolder(missing, false));
  EXPECT_FALSE(Exists(root_ / "a"));
  EXPECT_TRUE(EnsureFolder(missing, true));
  EXPECT_TRUE(std::filesystem::is_directory(missing));
  EXPECT_TRUE(EnsureFolder(missing + "/", false));
  EXPECT_FALSE(EnsureFolder("", true));
  test_support::WriteFileBytes(root_ / "file", "x");
  EXPECT_FALSE(EnsureFolder(root_ / "file", false));
  EXPECT_THROW(EnsureFolder(root_ / "file", true), Error);
}

TEST_F(FoldersTest, UserIdentities) {
  std::optional<UserIdentity> root = UserIdentityForName("root");
  ASSERT_TRUE(root);
  EXPECT_EQ(root->uid, 0u);
  EXPECT_EQ(root->gid, 0u);
  EXPECT_EQ(root->home, "/root");
  EXPECT_EQ(root->tmpDir, "");
  EXPECT_FALSE(UserIdentityForName("no-such-user-nimbra"));
  EXPECT_FALSE(UserIdentityForName(""));

  UserIdentity me = CurrentUserIdentity();
  EXPECT_EQ(me.uid, ::getuid());
  EXPECT_EQ(me.home, root_ / "home");
  EXPECT_EQ(me.tmpDir, root_ / "tmp");
  env_.Unset("HOME");
  env_.Unset("TMPDIR");
  me = CurrentUserIdentity();
  EXPECT_FALSE(me.home.empty());  // from the passwd entry
  EXPECT_EQ(me.tmpDir, "");
}

TEST_F(FoldersTest, TempFolderBelowTmpdirIsPrivate) {
  const std::string expected = root_ / "tmp" + kSuffix;
  EXPECT_EQ(UserTempFolder(), expected);
  EXPECT_TRUE(IsPrivateFolderOf(expected, ::getuid()));
  EXPECT_TRUE(IsPrivateFolderOf(root_ / "tmp/Varnell inc.", ::getuid()));

  // Kept for the process.
  env_.Set("TMPDIR", root_ / "elsewhere");
  EXPECT_EQ(UserTempFolder(), expected);
}

TEST_F(FoldersTest, TempFolderTightensAModeThatLetsOthersIn) {
  std::filesystem::create_directories(root_ / "tmp" + kSuffix);
  ::chmod((root_ / "tmp/Varnell inc.").c_str(), 0777);
  ::chmod((root_ / "tmp" + kSuffix).c_str(), 0755);
  EXPECT_EQ(UserTempFolder(), root_ / "tmp" + kSuffix);
  EXPECT_TRUE(IsPrivateFolderOf(root_ / "tmp/Varnell inc.", ::getuid()));
  EXPECT_TRUE(IsPrivateFolderOf(root_ / "tmp" + kSuffix, ::getuid()));
}

TEST_F(FoldersTest, TemporaryFolderMissingTmpdirIsCreated) {
  env_.Set("TMPDIR", root_ / "new/tmp/");
  EXPECT_EQ(UserTempFolder(), root_ / "new/tmp" + kSuffix);
}

// The user a lookup runs for. As root: a user id nobody has (one per test, as tests run in
// parallel), so its private folder under /tmp belongs to this test and is removed afterwards.
// Otherwise the current user, whose own private folder is left in place.
class LookupUser {
 public:
  explicit LookupUser(uid_t unusedUid) {
    if (::geteuid() == 0) {
      identity_ = UserIdentity{unusedUid, unusedUid, "/nonexistent", ""};
      owned_ = PrivateTempFolder(unusedUid);
      std::filesystem::remove_all(owned_);
    } else {
      identity_ = CurrentUserIdentity();
    }
  }
  ~LookupUser() {
    if (!owned_.empty()) std::filesystem::remove_all(owned_);
  }
  UserIdentity WithTmpDir(const std::string& tmpDir) const {
    UserIdentity user = identity_;
    user.tmpDir = tmpDir;
    return user;
  }
  uid_t uid() const { return identity_.uid; }

 private:
  UserIdentity identity_;
  std::string owned_;
};

// A link planted where a folder belongs is refused; the lookup goes on to the user's own
// folder under /tmp and nothing is created behind the link.
TEST_F(FoldersTest, TempFolderRefusesSymbolicLinks) {
  LookupUser user(4242401);
  std::filesystem::create_directories(root_ / "victim");
  std::filesystem::create_directories(root_ / "tmp2/Varnell inc.");
  ASSERT_EQ(::lchown((root_ / "tmp2/Varnell inc.").c_str(), user.uid(), user.uid()), 0);
  for (const std::string& link : {root_ / "tmp/Varnell inc.", root_ / "tmp2/Varnell inc./PDF Printer"}) {
    ASSERT_EQ(::symlink((root_ / "victim").c_str(), link.c_str()), 0);
  }
  for (const std::string& tmp : {root_ / "tmp", root_ / "tmp2"}) {
    EXPECT_EQ(UserTempFolderFor(user.WithTmpDir(tmp)), PrivateTempFolder(user.uid()) + kSuffix)
        << tmp;
    EXPECT_TRUE(IsPrivateFolderOf(PrivateTempFolder(user.uid()) + kSuffix, user.uid()));
    EXPECT_TRUE(std::filesystem::is_empty(root_ / "victim"));
  }
}

TEST_F(FoldersTest, TempFolderRefusesAFolderOfSomeoneElse) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a folder to another user";
  LookupUser user(4242402);
  auto [nobody, nogroup] = test_support::NobodyIds();
  std::filesystem::create_directories(root_ / "tmp/Varnell inc.");
  ASSERT_EQ(::chown((root_ / "tmp/Varnell inc.").c_str(), nobody, nogroup), 0);
  EXPECT_EQ(UserTempFolderFor(user.WithTmpDir(root_ / "tmp")),
            PrivateTempFolder(user.uid()) + kSuffix);
  EXPECT_FALSE(Exists(root_ / "tmp" + kSuffix));
}

TEST_F(FoldersTest, RootComputesTheFolderOfAnotherUserAndGivesItToThem) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act for another user";
  auto [nobody, nogroup] = test_support::NobodyIds();
  ::chmod(root_.Path().c_str(), 0755);
  std::filesystem::create_directories(root_ / "shared");
  ::chmod((root_ / "shared").c_str(), 01777);  // like /tmp
  UserIdentity user{nobody, nogroup, "/nonexistent", root_ / "shared"};
  const std::string folder = UserTempFolderFor(user);
  EXPECT_EQ(folder, root_ / "shared" + kSuffix);
  EXPECT_TRUE(IsPrivateFolderOf(root_ / "shared/Varnell inc.", nobody));
  EXPECT_TRUE(IsPrivateFolderOf(folder, nobody));

  // The user computes the same folder for themself, and can write there.
  const std::string shared = root_ / "shared";
  int code = test_support::RunUnprivileged([&] {
    ::setenv("TMPDIR", shared.c_str(), 1);
    ResetFolderCacheForTesting();
    if (UserTempFolder() != folder) return 1;
    test_support::WriteFileBytes(folder + "/job.ps", "%!");
    return 0;
  });
  EXPECT_EQ(code, 0);
}

TEST_F(FoldersTest, SharedBaseWithoutStickyBitIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a folder to another user";
  auto [nobody, nogroup] = test_support::NobodyIds();
  std::filesystem::create_directories(root_ / "open");
  ASSERT_EQ(::chown((root_ / "open").c_str(), nobody, nogroup), 0);
  ::chmod((root_ / "open").c_str(), 0777);
  // A user id nobody has, so that its private folder under /tmp can be planted as a link.
  UserIdentity user{4242421, 4242421, "/nonexistent", root_ / "open"};
  const std::string privateFolder = PrivateTempFolder(user.uid);
  ASSERT_FALSE(Exists(privateFolder));
  ASSERT_EQ(::symlink(root_.Path().c_str(), privateFolder.c_str()), 0);
  struct Cleanup {
    std::string path;
    ~Cleanup() { ::unlink(path.c_str()); }
  } cleanup{privateFolder};

  // TMPDIR and /tmp refused: the registry's fixed folder, then the application's.
  SetRegistryValue(reg::kUserTemp, root_ / "fixed/user/");
  EXPECT_EQ(UserTempFolderFor(user), root_ / "fixed/user");
  EXPECT_TRUE(IsPrivateFolderOf(root_ / "fixed/user", user.uid));
  EXPECT_FALSE(Exists(root_ / "open/Varnell inc."));

  RegistryDeleteValue(kSettingsRegistryKey, reg::kUserTemp);
  EXPECT_EQ(UserTempFolderFor(user), root_ / "app/temp");
  EXPECT_TRUE(IsPrivateFolderOf(root_ / "app/temp", user.uid));

  // Every candidate refused: "".
  ::chown((root_ / "app/temp").c_str(), 0, 0);
  EXPECT_EQ(UserTempFolderFor(user), "");
}

TEST_F(FoldersTest, TempFolderRaisesWhenAFolderCannotBeCreated) {
  ::chmod(root_.Path().c_str(), 0755);
  ::chmod((root_ / "tmp").c_str(), 0555);  // not writable for the unprivileged child
  const std::string tmp = root_ / "tmp";
  int code = test_support::RunUnprivileged([&] {
    ::setenv("TMPDIR", tmp.c_str(), 1);
    try {
      UserTempFolderFor(CurrentUserIdentity());
    } catch (const Error& e) {
      return e.Number() == 75 &&
                     e.Description().find("Target=" + tmp + "/Varnell inc./PDF Printer") !=
                         std::string::npos
                 ? 0
                 : 1;
    }
    return 2;
  });
  EXPECT_EQ(code, 0);
}

TEST_F(FoldersTest, SpecialFoldersFollowTheXdgUserDirs) {
  const std::string home = root_ / "home";
  struct Case {
    const char* name;
    std::string userDirs;  // "" no file
    std::string desktop;
    std::string documents;
  };
  const std::vector<Case> cases = {
      {"no user-dirs file", "", home + "/Desktop", home},
      {"HOME-relative and absolute entries",
       "# comment\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\nXDG_DOCUMENTS_DIR=\"/srv/docs/\"\n",
       home + "/Schreibtisch", "/srv/docs"},
      {"quoted characters and the last line wins",
       "XDG_DOCUMENTS_DIR=\"$HOME/a\"\nXDG_DOCUMENTS_DIR=\"$HOME/My \\\"Docs\\\"\"\n",
       home + "/Desktop", home + "/My \"Docs\""},
      {"relative entries are invalid", "XDG_DESKTOP_DIR=\"Desktop2\"\n", home + "/Desktop", home},
  };
  std::filesystem::create_directories(home + "/.config");
  for (const auto& c : cases) {
    std::filesystem::remove(home + "/.config/user-dirs.dirs");
    if (!c.userDirs.empty()) test_support::WriteFileBytes(home + "/.config/user-dirs.dirs", c.userDirs);
    EXPECT_EQ(SpecialFolder(kDesktop), c.desktop) << c.name;
    EXPECT_EQ(SpecialFolder(kDocuments), c.documents) << c.name;
  }
  EXPECT_FALSE(Exists(home + "/Desktop"));  // never created
  EXPECT_FALSE(Exists(home + "/Schreibtisch"));

  // XDG_CONFIG_HOME names where the file is.
  std::filesystem::create_directories(root_ / "xdg");
  test_support::WriteFileBytes(root_ / "xdg/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/D\"\n");
  env_.Set("XDG_CONFIG_HOME", root_ / "xdg");
  EXPECT_EQ(SpecialFolder(kDesktop), home + "/D");

  EXPECT_EQ(SpecialFolder(7), "");
  env_.Unset("HOME");
  env_.Unset("XDG_CONFIG_HOME");
  EXPECT_EQ(SpecialFolder(kDocuments), "");
}

TEST_F(FoldersTest, FontFoldersComeFromFontconfig) {
  const std::vector<std::string> folders = FontFolders();
  ASSERT_FALSE(folders.empty()) << "fontconfig knows no font folder";
  for (const auto& folder : folders) EXPECT_TRUE(std::filesystem::is_directory(folder)) << folder;
  EXPECT_EQ(FontsFolder(), folders.front());
  EXPECT_EQ(SpecialFolder(kFonts), folders.front());

  // The folders hold the installed fonts (DejaVu is a build dependency).
  bool found = false;
  for (const auto& folder : folders) {
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      if (entry.path().filename() == "DejaVuSans.ttf") found = true;
    }
  }
  EXPECT_TRUE(found);
}

}  // namespace
}  // namespace nimbra
