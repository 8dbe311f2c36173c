// Where the files live: beside a copy of the executable, or in the per-user data folder for the
// installed program and for a copy in a folder the user cannot write; score sounds from the
// installation's shared folder.
#include "storage_fixture.h"

#include <functional>
#include <optional>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace brennix::test {
namespace {

// An environment variable set for one test and put back afterwards.
class TEnvironment {
  public:
    TEnvironment(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        Set(value);
    }
    ~TEnvironment() { Set(old_ ? old_->c_str() : nullptr); }
    void Set(const char* value) const {
        if (value != nullptr)
            ::setenv(name_, value, 1);
        else
            ::unsetenv(name_);
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

class PathsTest : public StorageTest {
  protected:
    void SetUp() override {
        StorageTest::SetUp();
        fs::permissions(dir, fs::perms::all & ~fs::perms::group_write & ~fs::perms::others_write);
        fs::create_directories(dir / "home");
        fs::create_directories(dir / "usb");
        fs::create_directories(dir / "prefix" / "bin");
    }

    std::string Home() const { return (dir / "home").string(); }
    std::string PerUser() const { return Home() + "/.local/share/brennix/"; }
    std::string Prefix() const { return (dir / "prefix").string(); }
    std::vector<std::string> PrefixBin() const { return {Prefix() + "/bin"}; }
    // What an installation puts beside its bin folder: the metadata named after the program's id.
    void MarkAsInstallation() const {
        fs::create_directories(dir / "prefix" / "share" / "metainfo");
        Touch(Prefix() + "/share/metainfo/" BRENNIX_APP_ID ".metainfo.xml");
    }

    TEnvironment home_{"HOME", nullptr};
    TEnvironment dataHome_{"XDG_DATA_HOME", nullptr};
};

TEST_F(PathsTest, ACopyOutsideItsInstallLocationKeepsItsFilesBesideItself) {
    home_.Set(Home().c_str());
    for (const std::string& copy : {In("usb"), In("usb") + "/", In("prefix/bin")}) {
        const TDataPlace place = ChooseDataPlace(copy, {"/nonexistent/bin"});
        EXPECT_EQ(place.Base, fs::path(copy + "/").lexically_normal().string()) << copy;
        EXPECT_FALSE(place.PerUser) << copy;
        EXPECT_EQ(place.SharedSounds, "") << copy;
    }
}

TEST_F(PathsTest, TheInstalledProgramUsesThePerUserDataFolder) {
    // The data folder follows the XDG rules: XDG_DATA_HOME when it is an absolute path, else
    // ~/.local/share.
    struct TCase {
        const char* dataHome;
        std::string expected;
    };
    home_.Set(Home().c_str());
    const std::vector<TCase> cases = {
        {nullptr, PerUser()},
        {"", PerUser()},
        {"relative/data", PerUser()},
        {"/somewhere/data", "/somewhere/data/brennix/"},
        {"/somewhere/data/", "/somewhere/data/brennix/"},
    };
    for (const TCase& item : cases) {
        dataHome_.Set(item.dataHome);
        const TDataPlace place = ChooseDataPlace(Prefix() + "/bin", PrefixBin());
        EXPECT_EQ(place.Base, item.expected) << (item.dataHome ? item.dataHome : "(unset)");
        EXPECT_TRUE(place.PerUser);
        EXPECT_EQ(place.SharedSounds, Prefix() + "/share/brennix/sound/");
    }

    // Found through a symbolic link to the bin folder, and with the install folder given through
    // one, too.
    fs::create_directory_symlink(dir / "prefix", dir / "link");
    EXPECT_TRUE(ChooseDataPlace(In("link/bin"), PrefixBin()).PerUser);
    EXPECT_TRUE(ChooseDataPlace(Prefix() + "/bin", {In("link/bin/")}).PerUser);
    EXPECT_TRUE(ChooseDataPlace(Prefix() + "/bin/../bin", PrefixBin()).PerUser);

    // Without HOME the user database names the home folder; without either, the files stay
    // beside the executable rather than anywhere else.
    home_.Set(nullptr);
    dataHome_.Set(nullptr);
    const TDataPlace homeless = ChooseDataPlace(Prefix() + "/bin", PrefixBin());
    if (::getpwuid(::getuid()) == nullptr)
        EXPECT_EQ(homeless.Base, Prefix() + "/bin/");
    else
        EXPECT_TRUE(homeless.PerUser);
}

// What `work` says when run by a user for whom read-only folders are read-only: run as root, a
// child process under the id of "nobody"; else a child as the same user.
std::string AsAnotherUser(const std::function<std::string()>& work) {
    int channel[2];
    if (::pipe(channel) != 0) return "pipe failed";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(1);
        const std::string answer = work();
        const bool written = ::write(channel[1], answer.data(), answer.size()) ==
                             static_cast<ssize_t>(answer.size());
        ::_exit(written ? 0 : 1);
    }
    ::close(channel[1]);
    std::string answer;
    char buffer[4096];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        answer.append(buffer, static_cast<size_t>(n));
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? answer : "child failed";
}

constexpr fs::perms ReadOnly = fs::perms::owner_read | fs::perms::owner_exec |
                               fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec;

TEST_F(PathsTest, ACopyInAFolderTheUserCannotWriteUsesThePerUserDataFolder) {
    home_.Set(Home().c_str());
    fs::permissions(dir / "usb", ReadOnly);
    EXPECT_EQ(AsAnotherUser([&] {
                  const TDataPlace place = ChooseDataPlace(In("usb"), {"/nonexistent/bin"});
                  return place.Base + (place.PerUser ? " per-user" : " beside");
              }),
              PerUser() + " per-user");
}

// The data folder or its "save" made read-only: the warning names the folder that cannot be
// written, and why.
TEST_F(PathsTest, AnUnwritableDataFolderIsReported) {
    MarkAsInstallation();
    dataHome_.Set(In("data").c_str());
    const std::string base = In("data") + "/brennix/";
    fs::create_directories(base + "save");
    fs::permissions(dir / "data", fs::perms::all);
    for (const std::string& folder : {base, base + "save"}) {
        fs::permissions(base, fs::perms::all);
        fs::permissions(base + "save", fs::perms::all);
        fs::permissions(folder, ReadOnly);
        EXPECT_EQ(AsAnotherUser([&] { return UseDataPlaceOf(Prefix() + "/bin"); }),
                  "Brennix cannot write its data folder " + folder +
                      " (Permission denied): settings and saves will not be kept.");
    }
    fs::permissions(base + "save", fs::perms::all);
    EXPECT_EQ(AsAnotherUser([&] { return UseDataPlaceOf(Prefix() + "/bin") + "|" + BaseDir(); }),
              "|" + base);
}

TEST_F(PathsTest, AnInstallationIsRecognisedByItsMetadataAndGetsItsFoldersMade) {
    dataHome_.Set(In("data").c_str());
    const std::string bin = Prefix() + "/bin";
    // Without the installation's metadata beside it, a writable bin folder holds the files.
    UseDataPlaceOf(bin);
    EXPECT_EQ(BaseDir(), bin + "/");
    EXPECT_FALSE(fs::exists(dir / "data"));

    MarkAsInstallation();
    UseDataPlaceOf(bin);
    EXPECT_EQ(BaseDir(), In("data") + "/brennix/");
    EXPECT_TRUE(fs::is_directory(dir / "data" / "brennix" / "save"));
    EXPECT_EQ(fs::status(dir / "data").permissions() & fs::perms::all, fs::perms::owner_all)
        << "a data home made by the program is private";
    EXPECT_EQ(FilesIn(dir / "prefix" / "bin"), std::vector<std::string>{})
        << "nothing is written into the bin folder";

    // Once more with everything there already: nothing changes, and nothing is reported.
    EXPECT_EQ(UseDataPlaceOf(bin), "");
    EXPECT_EQ(BaseDir(), In("data") + "/brennix/");

    // A data folder that cannot be made is reported, not silently left to lose the settings.
    Touch(In("blocked"));
    dataHome_.Set(In("blocked").c_str());
    const std::string problem = UseDataPlaceOf(bin);
    EXPECT_NE(problem.find(In("blocked") + "/brennix/"), std::string::npos) << problem;
    EXPECT_NE(problem.find("settings and saves will not be kept"), std::string::npos) << problem;
}

TEST_F(PathsTest, AScoreSoundMissingInTheDataFolderComesFromTheSharedFolder) {
    home_.Set(Home().c_str());
    const TDataPlace place = ChooseDataPlace(Prefix() + "/bin", PrefixBin());
    const std::string shared = Prefix() + "/share/brennix/sound/";
    fs::create_directories(shared);
    fs::create_directories(PerUser() + "sound");
    Touch(shared + "Score60.wav");
    Touch(shared + "Score180.wav");
    Touch(PerUser() + "sound/Score180.wav");
    UseDataPlaceOf(Prefix() + "/bin"); // not installed: the bin folder is writable and bare
    ASSERT_EQ(BaseDir(), Prefix() + "/bin/");
    EXPECT_EQ(SoundPath("Score60.wav"), Prefix() + "/bin/sound/Score60.wav")
        << "a copy beside its files has no shared sounds";

    // The per-user place of the installed program: its own sound first, then the shared one.
    MarkAsInstallation();
    UseDataPlaceOf(Prefix() + "/bin");
    ASSERT_EQ(BaseDir(), place.Base);
    EXPECT_EQ(SoundPath("Score180.wav"), PerUser() + "sound/Score180.wav");
    EXPECT_EQ(SoundPath("Score60.wav"), shared + "Score60.wav");
    EXPECT_EQ(SoundPath("Score26.wav"), PerUser() + "sound/Score26.wav") << "found nowhere";

    SetBaseDir(In("usb"));
    EXPECT_EQ(SoundPath("Score60.wav"), In("usb") + "/sound/Score60.wav");
}

} // namespace
} // namespace brennix::test
