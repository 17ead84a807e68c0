#include "platform/key_store.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "file_text.h"
#include "scratch_directory.h"

using corvalis::platform::KeyStore;
namespace fs = std::filesystem;

namespace {

const std::string kTeamA = "Software\\VELMAR\\Pelion\\setupa";
const std::string kTeamB = "Software\\VELMAR\\Pelion\\setupb";

// A scratch directory per test; the environment the store path depends on is put
// back afterwards.
class KeyStoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = scratch.path();
        path = (dir / "registry.ini").string();
        for (const char* name : {"CORVALIS_REGISTRY", "XDG_CONFIG_HOME", "HOME"}) {
            const char* value = std::getenv(name);
            saved.push_back({name, value ? std::optional<std::string>(value) : std::nullopt});
        }
    }
    void TearDown() override {
        for (const auto& [name, value] : saved) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }

    static std::optional<std::uint32_t> read(const KeyStore& store, const std::string& key,
                                             const std::string& name) {
        std::uint32_t value = 0;
        if (!store.readDword(key, name, value)) return std::nullopt;
        return value;
    }

    // Waits for a child process with a generous liveness bound; its exit status, or
    // -1 when it had to be killed.
    static int waitChild(pid_t child, std::chrono::seconds limit = std::chrono::seconds(60)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        int status = 0;
        while (::waitpid(child, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(child, SIGKILL);
                ::waitpid(child, &status, 0);
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    ScratchDirectory scratch{"keys"};
    fs::path dir;
    std::string path;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
};

}  // namespace

// --- Where the store lives ---

TEST_F(KeyStoreTest, TheVariableNamesTheStoreFirst) {
    ::setenv("CORVALIS_REGISTRY", path.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", "/elsewhere", 1);
    EXPECT_EQ(KeyStore::userStorePath(), path);
    EXPECT_EQ(KeyStore::forUser().path(), path);
}

TEST_F(KeyStoreTest, OtherwiseTheUsersConfigurationDirectory) {
    ::unsetenv("CORVALIS_REGISTRY");
    ::setenv("XDG_CONFIG_HOME", "/xdg/config", 1);
    ::setenv("HOME", "/home/observer", 1);
    EXPECT_EQ(KeyStore::userStorePath(), "/xdg/config/corvalis/registry.ini");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(KeyStore::userStorePath(), "/home/observer/.config/corvalis/registry.ini");
    // A relative directory is not a usable configuration home.
    ::setenv("XDG_CONFIG_HOME", "relative/config", 1);
    EXPECT_EQ(KeyStore::userStorePath(), "/home/observer/.config/corvalis/registry.ini");
    ::setenv("CORVALIS_REGISTRY", "", 1);
    EXPECT_EQ(KeyStore::userStorePath(), "/home/observer/.config/corvalis/registry.ini");
}

TEST_F(KeyStoreTest, DirectoriesAreCreatedOnTheFirstWrite) {
    const std::string nested = (dir / "a" / "b" / "registry.ini").string();
    const KeyStore store(nested);
    EXPECT_FALSE(store.keyExists(kTeamA));  // reading creates nothing
    EXPECT_FALSE(fs::exists(dir / "a"));
    ASSERT_TRUE(store.writeDword(kTeamA, "gamma", 100));
    EXPECT_EQ(read(store, kTeamA, "gamma"), 100u);
}

TEST_F(KeyStoreTest, AStoreThatCannotBeWrittenIsAFailureNotACrash) {
    writeText((dir / "plain").string(), "a file, not a directory");
    const KeyStore underFile((dir / "plain" / "registry.ini").string());
    EXPECT_FALSE(underFile.writeDword(kTeamA, "gamma", 1));
    EXPECT_FALSE(underFile.createKey(kTeamA));
    EXPECT_FALSE(underFile.keyExists(kTeamA));
    const KeyStore nowhere("");
    EXPECT_FALSE(nowhere.writeDword(kTeamA, "gamma", 1));
    EXPECT_FALSE(nowhere.keyExists(kTeamA));
}

// --- Keys ---

TEST_F(KeyStoreTest, AKeyExistsOnceCreatedAsAnEmptySection) {
    const KeyStore store(path);
    EXPECT_FALSE(store.keyExists(kTeamA));
    ASSERT_TRUE(store.createKey(kTeamA));
    EXPECT_TRUE(store.keyExists(kTeamA));
    EXPECT_FALSE(store.keyExists(kTeamB));
    EXPECT_EQ(readText(path), "[Software\\VELMAR\\Pelion\\setupa]\n");
    // Creating it again neither fails nor adds a second section.
    ASSERT_TRUE(store.createKey("software\\velmar\\pelion\\SETUPA"));
    EXPECT_EQ(readText(path), "[Software\\VELMAR\\Pelion\\setupa]\n");
}

TEST_F(KeyStoreTest, KeyAndValueNamesCompareWithoutCase) {
    const KeyStore store(path);
    ASSERT_TRUE(store.writeDword(kTeamA, "paraTeam", 2));
    EXPECT_TRUE(store.keyExists("SOFTWARE\\velmar\\PELION\\SetupA"));
    EXPECT_EQ(read(store, "software\\velmar\\pelion\\setupa", "PARATEAM"), 2u);
    ASSERT_TRUE(store.writeDword(kTeamA, "parateam", 3));
    EXPECT_EQ(readText(path), "[Software\\VELMAR\\Pelion\\setupa]\nparaTeam=3\n");
}

TEST_F(KeyStoreTest, NamesTheFileCannotHoldAreRefused) {
    const KeyStore store(path);
    EXPECT_FALSE(store.createKey("bad]key"));
    EXPECT_FALSE(store.createKey("  "));
    EXPECT_FALSE(store.writeDword(kTeamA, "a=b", 1));
    EXPECT_FALSE(store.writeDword(kTeamA, "two\nlines", 1));
    EXPECT_FALSE(store.writeDword("line\nbreak", "x", 1));
    EXPECT_FALSE(fs::exists(path));
}

// --- DWORD values ---

TEST_F(KeyStoreTest, DwordsAreKeptAsDecimalTextUnderTheirKey) {
    const KeyStore store(path);
    ASSERT_TRUE(store.writeDword(kTeamB, "rGain", 64));
    ASSERT_TRUE(store.writeDword(kTeamB, "exposure", 4294967295u));
    ASSERT_TRUE(store.writeDword(kTeamA, "paraTeam", 0));
    EXPECT_EQ(readText(path),
              "[Software\\VELMAR\\Pelion\\setupb]\n"
              "rGain=64\n"
              "exposure=4294967295\n"
              "[Software\\VELMAR\\Pelion\\setupa]\n"
              "paraTeam=0\n");
    EXPECT_EQ(read(store, kTeamB, "rGain"), 64u);
    EXPECT_EQ(read(store, kTeamB, "exposure"), 4294967295u);
    EXPECT_EQ(read(store, kTeamA, "paraTeam"), 0u);
    EXPECT_EQ(read(store, kTeamA, "rGain"), std::nullopt);  // another key's value
    ASSERT_TRUE(store.writeDword(kTeamB, "rGain", 80));
    EXPECT_EQ(read(store, kTeamB, "rGain"), 80u);
}

TEST_F(KeyStoreTest, MissingOrMalformedValuesLeaveTheCallersVariableAlone) {
    writeText(path,
              "[K]\n"
              "word=abc\n"
              "negative=-1\n"
              "tooBig=4294967296\n"
              "trailing=12x\n"
              "hex=0x10\n"
              "empty=\n"
              "good= 42 \n");
    const KeyStore store(path);
    for (const char* name : {"word", "negative", "tooBig", "trailing", "hex", "empty", "absent"}) {
        std::uint32_t value = 777;
        EXPECT_FALSE(store.readDword("K", name, value)) << name;
        EXPECT_EQ(value, 777u) << name;
    }
    std::uint32_t value = 777;
    EXPECT_FALSE(store.readDword("NoSuchKey", "good", value));
    EXPECT_EQ(value, 777u);
    EXPECT_TRUE(store.readDword("K", "good", value));
    EXPECT_EQ(value, 42u);
}

// --- Damaged stores ---

TEST_F(KeyStoreTest, ADamagedStoreKeepsItsGoodValuesAndLosesNothingOnAWrite) {
    const std::string damaged = std::string(
                                    "[Software\\VELMAR\\Pelion\\setupa]\n"
                                    "paraTeam=1\n"
                                    "garbage without an equals sign\n") +
                                std::string("\xff\xfe\0\x01\n", 5) +
                                "[unclosed\n"
                                "[Software\\VELMAR\\Pelion\\setupb]\n"
                                "gamma=90\n";
    writeText(path, damaged);
    const KeyStore store(path);
    EXPECT_EQ(read(store, kTeamA, "paraTeam"), 1u);
    EXPECT_EQ(read(store, kTeamB, "gamma"), 90u);
    ASSERT_TRUE(store.writeDword(kTeamB, "contrast", 5));
    EXPECT_EQ(readText(path), damaged + "contrast=5\n");
}

TEST_F(KeyStoreTest, AStoreThatCannotBeReadIsNeverOverwritten) {
    fs::create_directory(path);  // the store's name is taken by a directory
    const KeyStore store(path);
    EXPECT_FALSE(store.writeDword(kTeamA, "gamma", 1));
    EXPECT_FALSE(store.keyExists(kTeamA));
    EXPECT_TRUE(fs::is_directory(path));
}

// --- Crashes and concurrent writers ---

TEST_F(KeyStoreTest, ALeftoverTemporaryFileDoesNotTouchTheStore) {
    const KeyStore store(path);
    ASSERT_TRUE(store.writeDword(kTeamA, "paraTeam", 1));
    ASSERT_TRUE(store.writeDword(kTeamB, "gamma", 90));
    // What a writer killed halfway through leaves behind.
    writeText(path + ".tmp", "[Software\\VELMAR\\Pelion\\setupa]\npara");
    EXPECT_EQ(read(store, kTeamA, "paraTeam"), 1u);
    ASSERT_TRUE(store.writeDword(kTeamB, "contrast", 7));
    EXPECT_EQ(read(store, kTeamA, "paraTeam"), 1u);
    EXPECT_EQ(read(store, kTeamB, "gamma"), 90u);
    EXPECT_EQ(read(store, kTeamB, "contrast"), 7u);
    // Not a file of ours: left as it was.
    EXPECT_EQ(readText(path + ".tmp"), "[Software\\VELMAR\\Pelion\\setupa]\npara");
}

TEST_F(KeyStoreTest, AReadOnlyStoreIsRefusedAndSaysSo) {
    const KeyStore store(path);
    ASSERT_TRUE(store.writeDword(kTeamA, "gamma", 90));
    const std::string text = readText(path);
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(store.writeDword(kTeamA, "gamma", 120));
    const std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_NE(messages.find("refusing to replace " + path), std::string::npos) << messages;
    EXPECT_EQ(readText(path), text);
    EXPECT_EQ(read(store, kTeamA, "gamma"), 90u);
}

TEST_F(KeyStoreTest, AWriterKilledAtAnyMomentLeavesAWholeStore) {
    const KeyStore store(path);
    constexpr int kValues = 2000;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        for (int i = 0; i < kValues; ++i) store.writeDword(kTeamB, "v" + std::to_string(i), i);
        ::_exit(0);
    }
    // Let it get going, then kill it wherever it is.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!read(store, kTeamB, "v20") && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);

    // The values written form an unbroken run from the first, each as written.
    int present = 0;
    while (present < kValues && read(store, kTeamB, "v" + std::to_string(present))) {
        EXPECT_EQ(read(store, kTeamB, "v" + std::to_string(present)),
                  static_cast<std::uint32_t>(present));
        ++present;
    }
    EXPECT_GE(present, 21);
    for (int i = present; i < kValues; ++i)
        ASSERT_FALSE(read(store, kTeamB, "v" + std::to_string(i))) << i;
    // The lock went with the killed writer.
    ASSERT_TRUE(store.writeDword(kTeamA, "paraTeam", 1));
    EXPECT_EQ(read(store, kTeamB, "v0"), 0u);
}

TEST_F(KeyStoreTest, AWriterWaitsForTheLockHolder) {
    const KeyStore store(path);
    ASSERT_TRUE(store.writeDword(kTeamA, "paraTeam", 0));
    const int lockFd = ::open((path + ".lock").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(lockFd, 0);
    ASSERT_EQ(::flock(lockFd, LOCK_EX), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(lockFd);
        ::_exit(store.writeDword(kTeamA, "paraTeam", 5) ? 0 : 1);
    }

    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    int status = 0;
    EXPECT_EQ(::waitpid(child, &status, WNOHANG), 0) << "the writer did not wait for the lock";
    EXPECT_EQ(read(store, kTeamA, "paraTeam"), 0u);
    // The child shares this open file, so the lock is released, not just closed.
    ASSERT_EQ(::flock(lockFd, LOCK_UN), 0);
    ::close(lockFd);
    EXPECT_EQ(waitChild(child), 0);
    EXPECT_EQ(read(store, kTeamA, "paraTeam"), 5u);
}

TEST_F(KeyStoreTest, TwoProcessesWritingAtOnceLoseNothing) {
    const KeyStore store(path);
    constexpr int kEach = 150;
    pid_t children[2];
    for (int who = 0; who < 2; ++who) {
        children[who] = ::fork();
        ASSERT_GE(children[who], 0);
        if (children[who] == 0) {
            bool ok = true;
            for (int i = 0; i < kEach; ++i) {
                // Both write into one shared key and one key of their own.
                ok = store.writeDword(kTeamA, "p" + std::to_string(who) + "_" + std::to_string(i),
                                      static_cast<std::uint32_t>(who * 1000 + i)) &&
                     ok;
                ok = store.writeDword(who == 0 ? kTeamB : "Software\\VELMAR\\Pelion\\setupc",
                                      "n" + std::to_string(i), static_cast<std::uint32_t>(i)) &&
                     ok;
            }
            ::_exit(ok ? 0 : 1);
        }
    }
    EXPECT_EQ(waitChild(children[0]), 0);
    EXPECT_EQ(waitChild(children[1]), 0);
    for (int who = 0; who < 2; ++who) {
        const std::string own = who == 0 ? kTeamB : "Software\\VELMAR\\Pelion\\setupc";
        for (int i = 0; i < kEach; ++i) {
            EXPECT_EQ(read(store, kTeamA, "p" + std::to_string(who) + "_" + std::to_string(i)),
                      static_cast<std::uint32_t>(who * 1000 + i));
            EXPECT_EQ(read(store, own, "n" + std::to_string(i)), static_cast<std::uint32_t>(i));
        }
    }
}
