// A build without a window toolkit (this program links no toolkit): the custom button ends in a
// notification that says so, the configuration stays as it was, and the preview is released.
#include "DataHandling.h"
#include "Dialogs.h"
#include "commonprocs.h"
#include "configglue.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct ShownAlert {
    AlertType type;
    std::string headline, explanation;
};

DialogItemIndex Record(const AlertContent* alert, void* refCon) {
    static_cast<std::vector<ShownAlert>*>(refCon)->push_back(
        {alert->type, alert->headline, alert->explanation});
    return alert->defaultButton;
}

TEST(NoWindowBuild, TheCustomButtonSaysThereIsNoWindowAndChangesNothing) {
    std::vector<ShownAlert> shown;
    void* previousRefCon = nullptr;
    const AlertPresenterProc previous = SetStandardAlertPresenter(Record, &shown, &previousRefCon);

    PluginDataRec config{};
    ResetConfig(&config);
    config.Sliders[0] = 71;
    const PluginDataRec before = config;
    GWorldPtr frame = AllocateRectGWorld(Rect{0, 0, 48, 64});
    ConfigurePlugIn(&config, frame, nullptr, 0, 10);
    SetStandardAlertPresenter(previous, previousRefCon, nullptr);

    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].type, kAlertCautionAlert);
    EXPECT_NE(shown[0].explanation.find("without a configuration window"), std::string::npos)
        << shown[0].explanation;
    EXPECT_EQ(std::memcmp(&config, &before, sizeof config), 0);
    EXPECT_EQ(gConfigWorkSpace.TheFXClip, nullptr);
    DisposeGWorld(frame);
}

} // namespace
