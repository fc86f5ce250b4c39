// Saves killed (SIGKILL) at many points of their write, flush and rename: the preferences file
// always holds exactly the old record or the new one, with the other resources and its mode.
#include "DataHandling.h"
#include "pluginloader.h"
#include "filebytes.h"
#include "prefsfile.h"
#include "prefsloader.h"
#include "rsrcimage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using filebytes::Bytes;
using filebytes::ReadBytes;
using filebytes::WriteBytes;

constexpr int kKillPoints = 300;
constexpr mode_t kMode = 0640;

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
    bool killed;
    Clock::duration ran; // from the moment the child was about to save
};

// Saves `config` in a child process and kills it `delay` after it is about to save, unless it
// has ended by then. Busy-waits, since sleeping cannot resolve the microseconds a save takes.
SaveRun SaveKilledAfter(const PluginDataRec& config, Clock::duration delay) {
    int ready[2];
    if (::pipe(ready) != 0) return {false, {}};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(ready[0]);
        const char go = 1;
        (void)!::write(ready[1], &go, 1);
        _exit(SaveConfig(&config) ? 0 : 1);
    }
    ::close(ready[1]);
    char go;
    (void)!::read(ready[0], &go, 1);
    ::close(ready[0]);
    const Clock::time_point start = Clock::now();
    int status = 0;
    while (Clock::now() - start < delay)
        if (::waitpid(child, &status, WNOHANG) == child) return {false, Clock::now() - start};
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    return {WIFSIGNALED(status), Clock::now() - start};
}

size_t TemporaryFilesIn(const std::string& folder) {
    return size_t(std::count_if(
        fs::directory_iterator(folder), fs::directory_iterator(), [](const fs::directory_entry& e) {
            return e.path().filename().string().starts_with(".vorel-Prefs.");
        }));
}

TEST(PrefsKilledMidSave, TheFileHoldsTheOldOrTheNewRecordWithEverythingElse) {
    TempPreferences prefs;
    const PluginDataRec before = Configuration(11), after = Configuration(99);
    const rsrcimage::Resource note{FOUR_CHAR_CODE("TEXT"), 128, "note", 0, {'k', 'e', 'p', 't'}};
    const Bytes oldFile = rsrcimage::Build({Pref(before), note});
    const auto oldResources = rsrcimage::Walk(oldFile);
    const std::vector<rsrcimage::Resource> newResources = {Pref(after), note};
    WriteBytes(prefs.PrefsFile(), oldFile);
    ASSERT_EQ(::chmod(prefs.PrefsFile().c_str(), kMode), 0);

    // How long a save takes here, so that the kills are spread over all of it and a little past.
    std::vector<Clock::duration> runs;
    for (int i = 0; i < 5; ++i) {
        const SaveRun run = SaveKilledAfter(after, std::chrono::seconds(10));
        ASSERT_FALSE(run.killed);
        runs.push_back(run.ran);
        WriteBytes(prefs.PrefsFile(), oldFile);
    }
    // The fastest, since the first saves of a run are slowed by cold caches.
    const Clock::duration span = *std::min_element(runs.begin(), runs.end()) * 5 / 4;

    int held = 0, old = 0, fresh = 0, finished = 0, abandoned = 0;
    for (int point = 0; point < kKillPoints; ++point) {
        SCOPED_TRACE(testing::Message() << "kill point " << point);
        const Clock::duration delay = span * point / kKillPoints;
        finished += !SaveKilledAfter(after, delay).killed;
        const auto stored = rsrcimage::Walk(ReadBytes(prefs.PrefsFile()));
        struct stat info {};
        ::stat(prefs.PrefsFile().c_str(), &info);
        const bool isOld = stored && *stored == *oldResources;
        const bool isNew = stored && *stored == newResources;
        EXPECT_TRUE(isOld || isNew) << "neither the old nor the new file";
        EXPECT_EQ(info.st_mode & 07777, kMode);
        held += (isOld || isNew) && (info.st_mode & 07777) == kMode;
        old += isOld;
        fresh += isNew;
        abandoned += TemporaryFilesIn(prefs.Dir()) > 0; // the next save removes it
        if (isNew) WriteBytes(prefs.PrefsFile(), oldFile);
    }
    EXPECT_EQ(held, kKillPoints);
    // Kills landed both before the new file was moved into place and after. How many landed
    // between the move and the end of the save depends on this machine's timing, so it is
    // reported below rather than required.
    EXPECT_GT(old, 0);
    EXPECT_GT(fresh, 0);

    // The next save removes what the last killed one left behind.
    ASSERT_TRUE(SaveConfig(&after));
    EXPECT_EQ(TemporaryFilesIn(prefs.Dir()), 0u);
    std::cout << "[ kills    ] " << kKillPoints << " kill points, " << held << " held: " << old
              << " old, " << fresh << " new (" << finished << " saves finished first); "
              << abandoned << " left a temporary file, each removed by the next save\n";
}

} // namespace
