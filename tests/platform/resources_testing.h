// Helpers shared by the resource file tests: a scratch folder, file bytes, handles, texts.
#pragma once

#include "MacMemory.h"
#include "Resources.h"
#include "PlatformTestHooks.h"
#include "filebytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace rsrctest {

namespace fs = std::filesystem;
using filebytes::Bytes;
using filebytes::ReadBytes;
using filebytes::WriteBytes;

// A new handle holding `bytes`; the caller owns it.
inline Handle MakeHandle(const Bytes& bytes) {
    Handle h = NewHandleClear(Size(bytes.size()));
    if (h) std::copy(bytes.begin(), bytes.end(), *h);
    return h;
}

inline Bytes BytesOf(Handle h) {
    if (!h) return {};
    const auto* p = reinterpret_cast<const uint8_t*>(*h);
    return Bytes(p, p + GetHandleSize(h));
}

// Length-prefixed text, ready to pass as a ConstStr255Param.
class PString {
  public:
    explicit PString(const std::string& text) : bytes_(text.size() + 1, uint8_t(text.size())) {
        std::copy(text.begin(), text.end(), bytes_.begin() + 1);
    }
    operator ConstStr255Param() const { return bytes_.data(); }

  private:
    Bytes bytes_;
};

inline std::string TextOf(const unsigned char* pstr) {
    return std::string(reinterpret_cast<const char*>(pstr + 1), pstr[0]);
}

inline void PutBig16(Bytes& out, unsigned value) {
    out.push_back(uint8_t(value >> 8));
    out.push_back(uint8_t(value));
}

inline void PutBig32(Bytes& out, uint32_t value) {
    PutBig16(out, value >> 16);
    PutBig16(out, value & 0xFFFF);
}

// 'STR#' data for these entries.
inline Bytes StringListData(const std::vector<std::string>& entries) {
    Bytes data;
    PutBig16(data, unsigned(entries.size()));
    for (const std::string& entry : entries) {
        data.push_back(uint8_t(entry.size()));
        data.insert(data.end(), entry.begin(), entry.end());
    }
    return data;
}

// A scratch folder per test. Every resource file still open at the end is closed, and the
// write failure seam is turned off, so that no test leaks state into the next.
class ResourceFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "rsrc-test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
    }

    void TearDown() override {
        ResTestFailWrite(0);
        while (CurResFile() != 0)
            CloseResFile(CurResFile());
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    std::string PathOf(const std::string& leaf) const { return (folder_ / leaf).string(); }

    // A new, empty resource file opened for writing and made current.
    ResFileRefNum CreateAndOpen(const std::string& leaf) {
        EXPECT_EQ(CreateResFileAtPath(PathOf(leaf).c_str()), noErr);
        const ResFileRefNum file = OpenResFileAtPath(PathOf(leaf).c_str(), fsRdWrPerm);
        EXPECT_GT(file, 0) << "ResError " << ResError();
        return file;
    }

    // Adds a resource made of `bytes` to the current file, expecting success.
    void Add(ResType type, int16_t id, const Bytes& bytes, const char* name = nullptr) {
        Handle h = MakeHandle(bytes);
        ASSERT_NE(h, nullptr);
        AddResource(h, type, id, name ? static_cast<ConstStr255Param>(PString(name)) : nullptr);
        ASSERT_EQ(ResError(), noErr);
    }

    fs::path folder_;
};

} // namespace rsrctest
