// A benchmark program's working folder under /tmp, for the clips and renders it makes.
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <functional>

// Runs `work` in a new folder and answers the program's exit status: 0, with the folder removed,
// or 1 when it failed, with the folder kept and named for a look at what went wrong.
inline int WithScratchFolder(const char* program,
                             const std::function<void(const std::filesystem::path&)>& work) {
    char pattern[] = "/tmp/lumashift-bench-XXXXXX";
    if (!mkdtemp(pattern)) {
        std::perror("no temporary folder");
        return 1;
    }
    try {
        work(pattern);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s (its files are kept in %s)\n", program, error.what(), pattern);
        return 1;
    }
    std::error_code ignored;
    std::filesystem::remove_all(pattern, ignored);
    return 0;
}
