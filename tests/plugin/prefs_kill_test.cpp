// Saves killed (SIGKILL) at every step of their write, flush and rename: the preferences file
// always holds exactly the old record or the new one, with the other resources and its mode.
#include "DataHandling.h"
#include "PlatformTestHooks.h"
#include "pluginloader.h"
#include "filebytes.h"
#include "prefsfile.h"
#include "prefsloader.h"
#include "rsrcimage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <regex>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using filebytes::Bytes;
using filebytes::ReadBytes;
using filebytes::WriteBytes;

constexpr mode_t kMode = 0640;
// Far more steps than a save has: a save that is still not through by then never ends.
constexpr long kMostSteps = 100;

PluginDataRec Configuration(int16_t gain) {
    PluginDataRec config{};
    ResetConfig(&config);
    config.Sliders[0] = gain;
    return config;
}

rsrcimage::Resource Pref(const PluginDataRec& config) {
    return {FOUR_CHAR_CODE("Pref"), 1, "Config Settings", 0, prefsfile::StoredRecord(config)};
}

struct SaveRun {
    bool killed; // at the step asked for
    bool saved;  // finished, and reported success
};

// Saves `config` in a child process that kills itself at the `step`-th step of its file writes.
SaveRun SaveKilledAtStep(const PluginDataRec& config, long step) {
    const pid_t child = ::fork();
    if (child < 0) return {false, false};
    if (child == 0) {
        ResTestKillWriteAt(step);
        _exit(SaveConfig(&config) ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFSIGNALED(status)) return {WTERMSIG(status) == SIGKILL, false};
    return {false, WIFEXITED(status) && WEXITSTATUS(status) == 0};
}

size_t TemporaryFilesIn(const std::string& folder) {
    return size_t(std::count_if(
        fs::directory_iterator(folder), fs::directory_iterator(), [](const fs::directory_entry& e) {
            return e.path().filename().string().starts_with(".vorel-Prefs.");
        }));
}

TEST(PrefsKilledMidSave, TheFileHoldsTheOldRecordUntilTheMoveAndTheNewOneFromIt) {
    TempPreferences prefs;
    const PluginDataRec before = Configuration(11), after = Configuration(99);
    const rsrcimage::Resource note{FOUR_CHAR_CODE("TEXT"), 128, "note", 0, {'k', 'e', 'p', 't'}};
    const Bytes oldFile = rsrcimage::Build({Pref(before), note});
    const auto oldResources = rsrcimage::Walk(oldFile);
    const std::vector<rsrcimage::Resource> newResources = {Pref(after), note};
    WriteBytes(prefs.PrefsFile(), oldFile);
    ASSERT_EQ(::chmod(prefs.PrefsFile().c_str(), kMode), 0);

    // What the file held after a save killed at each step in turn: o old, n new, ? neither.
    std::string held;
    int abandoned = 0;
    SaveRun run{};
    for (long step = 1; step <= kMostSteps; ++step) {
        SCOPED_TRACE(testing::Message() << "killed at step " << step);
        run = SaveKilledAtStep(after, step);
        if (!run.killed) break;
        const auto stored = rsrcimage::Walk(ReadBytes(prefs.PrefsFile()));
        struct stat info {};
        ::stat(prefs.PrefsFile().c_str(), &info);
        const bool isOld = stored && *stored == *oldResources;
        const bool isNew = stored && *stored == newResources;
        held += isOld ? 'o' : isNew ? 'n' : '?';
        EXPECT_EQ(info.st_mode & 07777, kMode);
        abandoned += TemporaryFilesIn(prefs.Dir()) > 0; // the next save removes it
        if (isNew) WriteBytes(prefs.PrefsFile(), oldFile);
    }
    EXPECT_TRUE(run.saved) << "the save not killed finishes and succeeds";
    // Every step before the new file is moved into place leaves the old one, every step from
    // then on the new one, and the save has steps on both sides.
    EXPECT_TRUE(std::regex_match(held, std::regex("o+n+"))) << held;

    // The next save removes what the last killed one left behind.
    ASSERT_TRUE(SaveConfig(&after));
    EXPECT_EQ(TemporaryFilesIn(prefs.Dir()), 0u);
    std::cout << "[ kills    ] a save killed at each of its " << held.size() << " steps: " << held
              << " (o old, n new); " << abandoned
              << " left a temporary file, each removed by the next save\n";
}

} // namespace
