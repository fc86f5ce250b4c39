// What the fuzz targets share: property checks that stop with the property's name, and a
// scratch folder in memory where there is one, so that flushes cost nothing.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>
#include <unistd.h>

// A property that does not hold is a finding: libFuzzer keeps the input that broke it.
inline void Check(bool holds, const char* property) {
    if (holds) return;
    std::fprintf(stderr, "property does not hold: %s\n", property);
    std::abort();
}

// Made on first use and removed at exit; never freed, so that it outlives the exit handlers.
inline const std::string& ScratchFolder() {
    static const std::string& folder = *[] {
        const char* base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        auto* pattern = new std::string(std::string(base) + "/lumashift-fuzz-XXXXXX");
        Check(::mkdtemp(pattern->data()) != nullptr, "a scratch folder can be made");
        std::atexit([] { std::filesystem::remove_all(ScratchFolder()); });
        return pattern;
    }();
    return folder;
}

inline void WriteScratchFile(const std::string& path, std::span<const uint8_t> bytes) {
    FILE* out = std::fopen(path.c_str(), "wb");
    Check(out != nullptr, "a scratch file can be written");
    Check(std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size(), "scratch write");
    std::fclose(out);
}
