// Reading and writing one fixed-size record file in one piece.
#pragma once

#include "engine/errors.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace brennix {

// Opens an existing file for reading and writing (a write-protected file is refused, as the
// record files are always opened that way) and reads up to `size` bytes. Raises EInOutError.
std::vector<uint8_t> ReadRecordFile(const std::string& path, size_t size);

// Reads up to `size` bytes of a regular file and changes nothing: the file is opened read-only
// (a write-protected file reads like any other) and without waiting on a pipe. Raises
// EInOutError, or EBrennixError "not a regular file" for a folder, a pipe or a device.
std::vector<uint8_t> ReadRegularFile(const std::string& path, size_t size);

// Replaces the file with exactly these bytes. The bytes go to a new file in the same folder
// first, which takes the old one's place only once everything is written, so a failure leaves
// the old file as it was. Raises EInOutError; a write-protected target is refused.
void WriteRecordFile(const std::string& path, std::span<const uint8_t> bytes);

// Whether `name` is one WriteRecordFile could have given the new file it writes before it
// replaces `target`: the target's name, a dot and six letters or digits.
bool IsTemporaryNameOf(std::string_view name, std::string_view target);

// How old a temporary file must be before it counts as left behind.
inline constexpr std::chrono::minutes TemporaryFileLifetime{1};

// Removes from `folder` the new files of writes cut short by a kill or a power loss: regular
// files older than TemporaryFileLifetime whose names are temporary names (see IsTemporaryNameOf)
// of a target that `isTarget` accepts. Nothing else is touched, and nothing is reported.
void RemoveStaleTemporaries(const std::string& folder,
                            const std::function<bool(std::string_view)>& isTarget);

// The input/output error for a failed system call's errno: one of the named conditions, or the
// host's own number.
EInOutError IoErrorFromErrno(int error);

} // namespace brennix
