// Tests of file URLs and bundles: Info parsing, the registry by identifier, resource and
// program paths, in temporary bundle folders.
#include "CFBundle.h"
#include "cf_test_util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <sys/utsname.h>

namespace fs = std::filesystem;

namespace {

CFHolder<CFURLRef> URLOf(const std::string& path) {
    return CFHolder<CFURLRef>(CFURLCreateFromFileSystemRepresentation(
        kCFAllocatorDefault, reinterpret_cast<const uint8_t*>(path.data()), CFIndex(path.size()),
        true));
}

std::string PathOf(CFURLRef url, bool resolve = false) {
    uint8_t buffer[4096];
    if (!CFURLGetFileSystemRepresentation(url, resolve, buffer, sizeof buffer)) return "<none>";
    return reinterpret_cast<const char*>(buffer);
}

CFBundleRef Registered(const char* identifier) {
    return CFBundleGetBundleWithIdentifier(MakeString(identifier).get());
}

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder : public testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "cfbundle-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
    }
    void TearDown() override { fs::remove_all(root_); }

    static void WriteFile(const fs::path& path, const std::string& text) {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }

    // NAME.bundle with the given Info text (no Info file when null), and the bundle made of it.
    CFHolder<CFBundleRef> MakeBundle(const std::string& name, const char* info) {
        bundle_ = root_ / (name + ".bundle");
        fs::create_directories(bundle_ / "Contents" / "Resources");
        if (info) WriteFile(bundle_ / "Contents" / "Info", info);
        return CFHolder<CFBundleRef>(CFBundleCreate(kCFAllocatorDefault, URLOf(bundle_).get()));
    }

    fs::path root_;
    fs::path bundle_; // the last one made
};

using CFBundleTest = TempFolder;

TEST_F(CFBundleTest, ReadsInfoAndRegistersByIdentifier) {
    auto bundle = MakeBundle("reads", "# a comment line\n\n"
                                      "  CFBundleIdentifier =  com.example.cf.reads \r\n"
                                      "CFBundleExecutable=reads\n"
                                      "# CFBundleName = hidden\n"
                                      "no equals sign here\n"
                                      "Motto = a = b\n");
    ASSERT_NE(bundle, nullptr);
    EXPECT_EQ(Registered("com.example.cf.reads"), bundle.get());
    EXPECT_EQ(TextOf(CFBundleGetIdentifier(bundle.get())), "com.example.cf.reads");
    auto value = [&](const char* key) {
        return TextOf(CFBundleGetValueForInfoDictionaryKey(bundle.get(), MakeString(key).get()));
    };
    EXPECT_EQ(value("CFBundleExecutable"), "reads");
    EXPECT_EQ(value("Motto"), "a = b");
    EXPECT_EQ(value("CFBundleName"), "<none>");
    EXPECT_EQ(CFGetRetainCount(bundle.get()), 2) << "the caller's reference and the registry's";
}

struct RefusedRow {
    const char* name;
    const char* info; // null: no Info file
};

class RefusedBundle : public TempFolder, public testing::WithParamInterface<RefusedRow> {};

TEST_P(RefusedBundle, GivesNullAndRegistersNothing) {
    EXPECT_EQ(MakeBundle(GetParam().name, GetParam().info), nullptr);
    EXPECT_EQ(Registered("com.example.cf.refused"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Infos, RefusedBundle,
    testing::Values(RefusedRow{"NoInfo", nullptr},
                    RefusedRow{"NoIdentifier", "CFBundleExecutable = com.example.cf.refused\n"},
                    RefusedRow{"EmptyIdentifier", "CFBundleIdentifier =  \n"},
                    RefusedRow{"Commented", "#CFBundleIdentifier = com.example.cf.refused\n"},
                    RefusedRow{"NotUTF8", "CFBundleIdentifier = com.example.cf.refused\xFF\n"}),
    [](const auto& info) { return info.param.name; });

TEST_F(CFBundleTest, LaterBundleWithSameIdentifierReplacesAndReleasesEarlier) {
    const char* info = "CFBundleIdentifier = com.example.cf.same\n";
    auto first = MakeBundle("first", info);
    auto second = MakeBundle("second", info);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(Registered("com.example.cf.same"), second.get());
    EXPECT_EQ(CFGetRetainCount(first.get()), 1);
}

struct ResourceRow {
    const char* name;
    const char* resourceName;
    const char* resourceType; // null: none
    const char* subDir;       // null: none
    const char* expected;     // path under Contents/Resources, or null when not found
};

class ResourceURL : public TempFolder, public testing::WithParamInterface<ResourceRow> {};

TEST_P(ResourceURL, AnswersOnlyExistingResourcesInsideTheBundle) {
    auto bundle = MakeBundle("res", "CFBundleIdentifier = com.example.cf.res\n");
    ASSERT_NE(bundle, nullptr);
    const fs::path resources = bundle_ / "Contents" / "Resources";
    for (const char* file : {"manual.pdf", "README", "fr.lproj/help.txt", "main.nib/w.ui"})
        WriteFile(resources / file, "x");

    const ResourceRow& row = GetParam();
    CFHolder<CFURLRef> url(CFBundleCopyResourceURL(bundle.get(), MakeString(row.resourceName).get(),
                                                   MakeString(row.resourceType).get(),
                                                   MakeString(row.subDir).get()));
    EXPECT_EQ(PathOf(url.get()), row.expected ? (resources / row.expected).string() : "<none>");
}

INSTANTIATE_TEST_SUITE_P(
    Lookups, ResourceURL,
    testing::Values(ResourceRow{"FilePresent", "manual", "pdf", nullptr, "manual.pdf"},
                    ResourceRow{"FileAbsent", "manual", "html", nullptr, nullptr},
                    ResourceRow{"NoType", "README", nullptr, "", "README"},
                    ResourceRow{"InterfaceFolder", "main", "nib", nullptr, "main.nib"},
                    ResourceRow{"InSubfolder", "help", "txt", "fr.lproj", "fr.lproj/help.txt"},
                    ResourceRow{"NameWithSlash", "fr.lproj/help", "txt", nullptr, nullptr},
                    ResourceRow{"SubfolderLeavesResources", "Info", nullptr, "..", nullptr},
                    ResourceRow{"AbsoluteSubfolder", "hosts", nullptr, "/etc", nullptr}),
    [](const auto& info) { return info.param.name; });

TEST_F(CFBundleTest, ExecutableIsTheProgramForThisProcessor) {
    auto bundle = MakeBundle("exe", "CFBundleIdentifier = com.example.cf.exe\n"
                                    "CFBundleExecutable = effect.so\n");
    ASSERT_NE(bundle, nullptr);
    WriteFile(bundle_ / "Contents" / "otherchip" / "effect.so", "elsewhere");
    EXPECT_EQ(CFBundleCopyExecutableURL(bundle.get()), nullptr);

    // The bundle's folder for each processor the kernel may name.
    const std::map<std::string, std::string> kFolders = {
        {"x86_64", "x86_64"}, {"aarch64", "aarch64"}, {"ppc", "powerpc"}};
    utsname machine{};
    ASSERT_EQ(uname(&machine), 0);
    const fs::path program = bundle_ / "Contents" / kFolders.at(machine.machine) / "effect.so";
    WriteFile(program, "program");
    EXPECT_EQ(PathOf(CFHolder<CFURLRef>(CFBundleCopyExecutableURL(bundle.get())).get()),
              program.string());
}

TEST_F(CFBundleTest, OpensTheResourceFileNamedAfterTheExecutable) {
    auto bundle = MakeBundle("rsrc", "CFBundleIdentifier = com.example.cf.rsrc\n"
                                     "CFBundleExecutable = effect.so\n");
    ASSERT_NE(bundle, nullptr);
    EXPECT_EQ(CFBundleOpenBundleResourceMap(bundle.get()), -1);

    const fs::path file = bundle_ / "Contents" / "Resources" / "effect.rsrc";
    ASSERT_EQ(CreateResFileAtPath(file.c_str()), noErr);
    const ResFileRefNum refNum = CFBundleOpenBundleResourceMap(bundle.get());
    EXPECT_NE(refNum, -1);
    CloseResFile(refNum);
}

TEST_F(CFBundleTest, NoExecutableNamedGivesNoProgramAndNoResourceMap) {
    auto bundle = MakeBundle("noexe", "CFBundleIdentifier = com.example.cf.noexe\n");
    ASSERT_NE(bundle, nullptr);
    EXPECT_EQ(CFBundleCopyExecutableURL(bundle.get()), nullptr);
    EXPECT_EQ(CFBundleOpenBundleResourceMap(bundle.get()), -1);
    EXPECT_EQ(CFBundleCopyExecutableURL(nullptr), nullptr);
}

using CFURLTest = TempFolder;

TEST_F(CFURLTest, PathRoundTripsResolvesAndChecksBufferSize) {
    auto url = URLOf("some/relative/path");
    uint8_t buffer[19];
    EXPECT_TRUE(CFURLGetFileSystemRepresentation(url.get(), false, buffer, 19));
    EXPECT_STREQ(reinterpret_cast<const char*>(buffer), "some/relative/path");
    EXPECT_FALSE(CFURLGetFileSystemRepresentation(url.get(), false, buffer, 18));
    EXPECT_EQ(fs::path(PathOf(url.get(), true)), fs::current_path() / "some/relative/path");

    const uint8_t withZero[] = {'a', 0, 'b'};
    EXPECT_EQ(CFURLCreateFromFileSystemRepresentation(kCFAllocatorDefault, withZero, 3, false),
              nullptr);
    EXPECT_EQ(CFURLCreateFromFileSystemRepresentation(kCFAllocatorDefault, withZero, 0, false),
              nullptr);
}

TEST_F(CFURLTest, FSRefHoldsTheFullPathOfExistingFilesOnly) {
    WriteFile(root_ / "present.txt", "here");
    FSRef ref{};
    EXPECT_FALSE(CFURLGetFSRef(URLOf((root_ / "absent.txt").string()).get(), &ref));
    const fs::path previous = fs::current_path();
    fs::current_path(root_);
    const bool found = CFURLGetFSRef(URLOf("present.txt").get(), &ref);
    fs::current_path(previous);
    EXPECT_TRUE(found);
    EXPECT_EQ(fs::path(ref.path), root_ / "present.txt");
}

} // namespace
