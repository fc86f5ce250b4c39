// Platform-internal: whole-file reads and atomic whole-file writes for resource files.
#pragma once

#include "MacTypes.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Reads a regular file of fewer than maxSize bytes, and its permission bits into `mode`. fnfErr
// when it does not exist, ioErr when it cannot be read or is not a regular file, mapReadErr
// when it is maxSize bytes or more.
OSErr ReadWholeFile(const std::string& path, size_t maxSize, std::vector<uint8_t>& bytes,
                    unsigned& mode);

// Writes a new file beside `path`, flushes it and renames it over `path`; on any failure the
// old file is left as it was. The new file keeps the old one's permission bits, or `knownMode`
// when the old file's cannot be read. Temporary files that writers killed midway left beside
// `path` are removed first. dirNFErr when the folder is gone, ioErr for other failures.
OSErr ReplaceFile(const std::string& path, std::span<const uint8_t> bytes, unsigned knownMode);

// Creates `path` holding `bytes`, appearing whole or not at all. dupFNErr when it exists,
// dirNFErr when its folder does not, ioErr for other failures.
OSErr CreateFileExclusive(const std::string& path, std::span<const uint8_t> bytes);

// Both writers count as one file write for ResTestFailWrite, and each has the steps at which
// ResTestKillWriteAt stops it (PlatformTestHooks.h).
