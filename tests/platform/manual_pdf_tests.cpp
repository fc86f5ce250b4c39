// Tests of the bundle's user manual and of mkmanual, the tool that typesets it: the built PDF,
// pictures scaled to the page, and clean failures that never leave a partial PDF behind.
#include <QImage>

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <regex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::string kTool = std::string(LUMASHIFT_BUILD_DIR) + "/tools/mkmanual";
const fs::path kBundleManual = fs::path(LUMASHIFT_BUNDLE_DIR) / "Contents/Resources/manual.pdf";

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// The page count that the PDF's page tree declares; -1 when there is none.
int PageCountOf(const std::string& pdf) {
    std::smatch match;
    static const std::regex kCount(R"(/Type /Pages\b[^>]*/Count (\d+))");
    return std::regex_search(pdf, match, kCount) ? std::stoi(match[1]) : -1;
}

void ExpectCompletePdfWithPicture(const std::string& pdf) {
    EXPECT_EQ(pdf.rfind("%PDF-", 0), 0u) << "no PDF header";
    EXPECT_NE(pdf.find("%%EOF", pdf.size() > 8 ? pdf.size() - 8 : 0), std::string::npos)
        << "the PDF does not end with its trailer";
    EXPECT_GE(PageCountOf(pdf), 1);
    EXPECT_NE(pdf.find("/Subtype /Image"), std::string::npos) << "no picture in the PDF";
}

TEST(BundleManual, IsACompletePdfWithTheWindowPicture) {
    ASSERT_TRUE(fs::exists(kBundleManual))
        << kBundleManual << " is missing: build the lumashift target";
    ExpectCompletePdfWithPicture(ReadFile(kBundleManual));
}

struct RunResult {
    int status;
    std::string errors;
};

class MkmanualTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(kTool)) << kTool << " is missing: build the mkmanual target";
        std::string pattern = (fs::temp_directory_path() / "mkmanual-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        if (!dir_.empty()) fs::remove_all(dir_);
    }

    fs::path PathOf(const std::string& name) const { return dir_ / name; }

    void WritePicture(const std::string& name, int width, int height) const {
        QImage picture(width, height, QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
        ASSERT_TRUE(picture.save(QString::fromStdString(PathOf(name).string()), "PNG"));
    }

    RunResult Typeset(const fs::path& source, const fs::path& output) const {
        const fs::path errors = dir_ / "stderr.txt";
        const std::string command = "'" + kTool + "' '" + source.string() + "' '" +
                                    output.string() + "' 2>'" + errors.string() + "'";
        const int raw = std::system(command.c_str());
        RunResult result{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(errors)};
        fs::remove(errors);
        return result;
    }

    // Typesets `markdown` and returns the PDF; empty when mkmanual failed.
    std::string PdfOf(const std::string& markdown) const {
        WriteFile(PathOf("manual.md"), markdown);
        const RunResult run = Typeset(PathOf("manual.md"), PathOf("manual.pdf"));
        EXPECT_EQ(run.status, 0) << run.errors;
        return run.status == 0 ? ReadFile(PathOf("manual.pdf")) : std::string();
    }

    static std::string Paragraphs(int count) {
        std::string text;
        for (int i = 0; i < count; ++i)
            text += "Paragraph " + std::to_string(i) + " of the text that follows.\n\n";
        return text;
    }

    fs::path dir_;
};

// Unscaled, a 4000 x 2000 picture is over a metre wide and half a metre high, far more than
// an A4 page; at the text's width it fits under the title.
TEST_F(MkmanualTest, PictureWiderThanThePageFitsTheTextWidth) {
    WritePicture("wide.png", 4000, 2000);
    const std::string pdf = PdfOf("# Title\n\n![wide](wide.png)\n");
    ExpectCompletePdfWithPicture(pdf);
    EXPECT_EQ(PageCountOf(pdf), 1);
}

// Fitting a picture changes its format after the text is read; the text after it must still
// be laid out and typeset in full.
TEST_F(MkmanualTest, TextAfterAPictureIsAllTypeset) {
    WritePicture("wide.png", 4000, 2000);
    const int textOnly = PageCountOf(PdfOf("# Title\n\n" + Paragraphs(300)));
    const int withPicture =
        PageCountOf(PdfOf("# Title\n\n![wide](wide.png)\n\n" + Paragraphs(300)));
    EXPECT_GT(textOnly, 2);
    EXPECT_GE(withPicture, textOnly);
}

struct FailureCase {
    const char* name;
    const char* markdown; // null: no source file is written
    const char* output;   // relative to the scratch folder
    const char* named;    // the file the message must name, relative to the scratch folder
};

void PrintTo(const FailureCase& c, std::ostream* out) {
    *out << c.name;
}

class MkmanualFailure : public MkmanualTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(MkmanualFailure, ExitsWithAMessageAndKeepsTheOldManual) {
    const FailureCase& c = GetParam();
    WritePicture("present.png", 32, 32);
    WriteFile(PathOf("broken.png"), "not a picture at all");
    if (c.markdown) WriteFile(PathOf("manual.md"), c.markdown);
    const fs::path output = PathOf(c.output);
    const bool outputFolderExists = fs::exists(output.parent_path());
    if (outputFolderExists) WriteFile(output, "the previous manual");
    const auto filesBefore = std::distance(fs::directory_iterator(dir_), {});

    const RunResult run = Typeset(PathOf("manual.md"), output);

    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.errors.find(PathOf(c.named).string()), std::string::npos) << run.errors;
    if (outputFolderExists) {
        EXPECT_EQ(ReadFile(output), "the previous manual");
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), {}), filesBefore)
        << "a temporary file was left behind";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MkmanualFailure,
    ::testing::Values(FailureCase{"MissingSource", nullptr, "manual.pdf", "manual.md"},
                      FailureCase{"MissingPicture", "# Title\n\n![gone](absent.png)\n",
                                  "manual.pdf", "absent.png"},
                      FailureCase{"CorruptPicture", "# Title\n\n![bad](broken.png)\n", "manual.pdf",
                                  "broken.png"},
                      FailureCase{"SecondPictureMissing",
                                  "# Title\n\n![ok](present.png)\n\nText.\n\n![gone](absent.png)\n",
                                  "manual.pdf", "absent.png"},
                      FailureCase{"NoTitle", "Some text without a heading.\n", "manual.pdf",
                                  "manual.md"},
                      FailureCase{"UnwritableOutput", "# Title\n\n![ok](present.png)\n",
                                  "no-such-folder/m.pdf", "no-such-folder/m.pdf"}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

} // namespace
