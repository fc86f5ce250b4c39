// Interface files: windows from a folder or a bundle, forms the loader refuses, and the
// layout of a hidden window.
#include "toolbox_support.h"

#include "CFBundle.h"
#include "QuickDraw.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

using toolboxtest::TestWindow;

namespace {

struct RefusedForm {
    const char* name;
    const char* form;
    OSStatus status;
};

void PrintTo(const RefusedForm& f, std::ostream* out) {
    *out << f.name;
}

class ToolboxRefusedForms : public ::testing::TestWithParam<RefusedForm> {};

TEST_P(ToolboxRefusedForms, GiveAnErrorAndNoWindow) {
    TestWindow form(GetParam().form);
    EXPECT_EQ(form.status, GetParam().status);
    EXPECT_EQ(form.window, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ToolboxRefusedForms,
    ::testing::Values(
        RefusedForm{"UnregisteredClass", "unregistered", kIBCarbonRuntimeObjectNotOfRequestedType},
        RefusedForm{"ClassReplacedByLoader", "replaced", kIBCarbonRuntimeObjectNotOfRequestedType},
        RefusedForm{"ShortSignature", "badsignature", kIBCarbonRuntimeObjectNotOfRequestedType},
        RefusedForm{"NotAForm", "garbage", kIBCarbonRuntimeObjectNotOfRequestedType},
        RefusedForm{"NoSuchWindow", "nothere", kIBCarbonRuntimeCantFindObject}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ToolboxNibReferences, FolderMustExist) {
    IBNibRef nib = reinterpret_cast<IBNibRef>(1);
    EXPECT_EQ(ToolboxCreateNibReferenceAtPath("/nonexistent/x.nib", &nib),
              kIBCarbonRuntimeCantFindNibFile);
    EXPECT_EQ(nib, nullptr);
    EXPECT_EQ(ToolboxCreateNibReferenceAtPath(nullptr, &nib), paramErr);
    WindowRef window = nullptr;
    EXPECT_EQ(CreateWindowFromNib(nullptr, nullptr, &window), paramErr);
}

TEST(ToolboxNibReferences, FoundInABundleByName) {
    namespace fs = std::filesystem;
    const fs::path bundle = fs::path(testing::TempDir()) / "toolbox-test.bundle";
    fs::remove_all(bundle);
    fs::create_directories(bundle / "Contents/Resources");
    std::ofstream(bundle / "Contents/Info") << "CFBundleIdentifier = test.toolbox.bundle\n"
                                               "CFBundleExecutable = nothing\n";
    fs::create_directory_symlink(toolboxtest::FormFolder(), bundle / "Contents/Resources/test.nib");
    const std::string path = bundle.string();
    CFURLRef url = CFURLCreateFromFileSystemRepresentation(
        nullptr, reinterpret_cast<const uint8_t*>(path.c_str()), CFIndex(path.size()), true);
    CFBundleRef bundleRef = CFBundleCreate(nullptr, url);
    ASSERT_NE(bundleRef, nullptr);

    toolboxtest::App();
    toolboxtest::CFStringOwner test("test"), absent("absent"), controls("controls");
    IBNibRef nib = nullptr;
    EXPECT_EQ(CreateNibReferenceWithCFBundle(bundleRef, absent.ref, &nib),
              kIBCarbonRuntimeCantFindNibFile);
    ASSERT_EQ(CreateNibReferenceWithCFBundle(bundleRef, test.ref, &nib), noErr);
    WindowRef window = nullptr;
    EXPECT_EQ(CreateWindowFromNib(nib, controls.ref, &window), noErr);
    DisposeNibReference(nib); // the window does not depend on it
    EXPECT_NE(ToolboxCommandWidget(window, kHICommandOK), nullptr);
    DisposeWindow(window);
    CFRelease(bundleRef);
    CFRelease(url);
}

TEST(ToolboxNibLayout, HiddenWindowIsLaidOutAndPortFitsIt) {
    const auto handler = [](EventHandlerCallRef, EventRef, void*) -> OSStatus { return noErr; };
    toolboxtest::TestClass plain("test.toolbox.plain", {kEventControlDraw}, handler, nullptr);
    TestWindow form("layout");
    ASSERT_EQ(form.status, noErr);
    ControlRef box = form.Control("Cust", 1);
    Rect hidden{}, shown{}, port{};
    GetControlBounds(box, &hidden);
    form.Widget()->show();
    GetControlBounds(box, &shown);
    EXPECT_EQ(hidden.right - hidden.left, 160);
    EXPECT_EQ(hidden.bottom - hidden.top, 90);
    EXPECT_TRUE(EqualRect(&hidden, &shown));
    EXPECT_GE(hidden.left, 7); // inside the outer margins and the group's frame
    EXPECT_GE(hidden.top, 5);
    GetPortBounds(GetWindowPort(form.window), &port);
    EXPECT_EQ(port.right, form.Widget()->width());
    EXPECT_EQ(port.bottom, form.Widget()->height());
    EXPECT_LE(hidden.right, port.right);
    EXPECT_LE(hidden.bottom, port.bottom);
}

} // namespace
