// `reelhost configure` in this process, its window driven from inside the modal loop: what it
// reports after the window closes comes from the preferences file alone.
#include "commands.h"
#include "temp_dir.h"

#include "CarbonEvents.h"
#include "Controls.h"
#include "ToolboxTestHooks.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>

namespace reelhost {
namespace {

namespace fs = std::filesystem;
using testing_support::TempDir;

// Sets an environment variable for the life of the object, then puts the old value back.
class ScopedVariable {
  public:
    ScopedVariable(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedVariable() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

  private:
    const char* name_;
    std::optional<std::string> old_;
};

// What one run of the command printed and answered.
struct Outcome {
    int status = -1;
    std::string out, err;
};

Outcome RunCommand(const std::vector<std::string>& args) {
    char* outText = nullptr;
    char* errText = nullptr;
    size_t outSize = 0, errSize = 0;
    std::FILE* out = open_memstream(&outText, &outSize);
    std::FILE* err = open_memstream(&errText, &errSize);
    Outcome outcome;
    outcome.status = RunReelhost(args, out, err);
    std::fclose(out);
    std::fclose(err);
    outcome.out.assign(outText, outSize);
    outcome.err.assign(errText, errSize);
    std::free(outText);
    std::free(errText);
    return outcome;
}

// The window's buttons and pop-up send these commands to it.
void SendCommand(WindowRef window, OSType command) {
    EventRef event = nullptr;
    CreateEvent(nullptr, kEventClassCommand, kEventCommandProcess, 0, 0, &event);
    HICommand hiCommand{};
    hiCommand.commandID = command;
    SetEventParameter(event, kEventParamDirectObject, typeHICommand, sizeof hiCommand, &hiCommand);
    SendEventToEventTarget(event, GetWindowEventTarget(window));
    ReleaseEvent(event);
}

void Accept(WindowRef window) {
    SendCommand(window, kHICommandOK);
}

void Cancel(WindowRef window) {
    SendCommand(window, kHICommandCancel);
}

// Back to the defaults, and saved.
void ResetAndAccept(WindowRef window) {
    SendCommand(window, FOUR_CHAR_CODE("Rset"));
    Accept(window);
}

// Chooses PAL (item 2) in the video format pop-up; the window reopens in that layout.
void ChoosePal(WindowRef window) {
    const ControlID popUp{FOUR_CHAR_CODE("Medi"), 1};
    ControlRef control = nullptr;
    ASSERT_EQ(GetControlByID(window, &popUp, &control), noErr);
    SetControl32BitValue(control, 2);
    SendCommand(window, FOUR_CHAR_CODE("Medi"));
}

// Another program keeps its settings in the same folder, and writes them while the window is
// open.
void AnotherProgramWrites() {
    std::ofstream(fs::path(std::getenv("XDG_CONFIG_HOME")) / "another-program.conf")
        << "volume = 11\n";
}

// Each run of a modal loop (a window, or its reopening in another layout) takes the next step.
using Step = std::function<void(WindowRef)>;

class ConfigureCommand : public testing::Test {
  protected:
    void SetUp() override {
        ToolboxSetModalLoopHook(&ConfigureCommand::RunNextStep, this);
        ToolboxSetAlertAnswerHook(&ConfigureCommand::UnexpectedAlert, nullptr);
    }
    void TearDown() override {
        ToolboxSetModalLoopHook(nullptr, nullptr);
        ToolboxSetAlertAnswerHook(nullptr, nullptr);
    }

    Outcome Configure(const std::vector<Step>& steps) {
        script_.assign(steps.begin(), steps.end());
        const Outcome outcome = RunCommand({"configure"});
        EXPECT_TRUE(script_.empty()) << script_.size() << " steps left over";
        return outcome;
    }

    std::string PrefsPath() const { return config_ / "vorel-Prefs"; }

    std::optional<std::string> SavedBytes() const {
        std::ifstream file(PrefsPath(), std::ios::binary);
        if (!file) return std::nullopt;
        std::ostringstream bytes;
        bytes << file.rdbuf();
        return bytes.str();
    }

    static void RunNextStep(WindowRef window, void* refCon) {
        auto& script = static_cast<ConfigureCommand*>(refCon)->script_;
        if (script.empty()) {
            ADD_FAILURE() << "a window opened with no step left: cancelled";
            return Cancel(window);
        }
        const Step step = script.front();
        script.pop_front();
        step(window);
    }

    static DialogItemIndex UnexpectedAlert(const AlertContent* alert, void*) {
        ADD_FAILURE() << "an alert: " << (alert->headline ? alert->headline : "") << " "
                      << (alert->explanation ? alert->explanation : "");
        return alert->defaultButton;
    }

    ScopedVariable offscreen_{"QT_QPA_PLATFORM", "offscreen"};
    TempDir config_;
    ScopedVariable configHome_{"XDG_CONFIG_HOME", config_.Path().string()};
    std::deque<Step> script_;
};

constexpr const char* kSaved = "Configuration saved: the next render uses it.\n";
constexpr const char* kUnchanged =
    "Saved configuration unchanged: the window was cancelled, or accepted with nothing changed.\n";

struct OutcomeCase {
    const char* name;
    std::vector<Step> steps;
    bool fileChanges;
};

void PrintTo(const OutcomeCase& c, std::ostream* out) {
    *out << c.name;
}

class ConfigureOutcomes : public ConfigureCommand,
                          public testing::WithParamInterface<OutcomeCase> {};

TEST_P(ConfigureOutcomes, FollowThePreferencesFileAndNothingElseInItsFolder) {
    const OutcomeCase& c = GetParam();
    // From the defaults, whatever an earlier run in this process left in the effect.
    ASSERT_EQ(Configure({ResetAndAccept}).status, kExitOK);
    const std::optional<std::string> before = SavedBytes();
    ASSERT_TRUE(before) << "no " << PrefsPath();

    const Outcome outcome = Configure(c.steps);
    EXPECT_EQ(outcome.status, kExitOK) << outcome.err;
    EXPECT_EQ(outcome.out, c.fileChanges ? kSaved : kUnchanged);
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(SavedBytes() != before, c.fileChanges);
}

INSTANTIATE_TEST_SUITE_P(
    Windows, ConfigureOutcomes,
    testing::Values(OutcomeCase{"ChangedAndAccepted", {ChoosePal, Accept}, true},
                    OutcomeCase{"AcceptedAsItWasWhileAnotherProgramWrote",
                                {[](WindowRef w) {
                                    AnotherProgramWrites();
                                    Accept(w);
                                }},
                                false},
                    OutcomeCase{"ChangedAndCancelledWhileAnotherProgramWrote",
                                {ChoosePal,
                                 [](WindowRef w) {
                                     AnotherProgramWrites();
                                     Cancel(w);
                                 }},
                                false}),
    [](const testing::TestParamInfo<OutcomeCase>& info) { return info.param.name; });

TEST_F(ConfigureCommand, WithNoPreferencesFolderStopsBeforeTheWindow) {
    ScopedVariable missing("XDG_CONFIG_HOME", config_ / "missing");
    const Outcome outcome = Configure({});
    EXPECT_EQ(outcome.status, kExitFailed);
    EXPECT_NE(outcome.err.find("nowhere to save its configuration"), std::string::npos)
        << outcome.err;
    EXPECT_EQ(outcome.out, "");
}

TEST_F(ConfigureCommand, AConfigurationThatCannotBeSavedIsAnError) {
    fs::create_directory(PrefsPath()); // the effect cannot write its file in place of a folder
    const Outcome outcome = Configure({ChoosePal, Accept});
    EXPECT_EQ(outcome.status, kExitFailed);
    EXPECT_NE(outcome.err.find("could not save its configuration: '" + PrefsPath() + "'"),
              std::string::npos)
        << outcome.err;
    EXPECT_EQ(outcome.out, "");
}

} // namespace
} // namespace reelhost
