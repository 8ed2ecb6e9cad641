#pragma once

#include <string>

// Forcing written files to the disk by name, for a step that must not come
// before they are stored (removing the inputs they were made from).

// Syncs the file `path` to the disk through a descriptor of its own (on Linux
// fsync stores every written page of the file, whoever wrote it). A file that
// cannot be synced (a device such as /dev/null) counts as stored. False when
// the file cannot be opened or the disk reports an error.
bool syncFile(const std::string& path);

// Syncs the folder that holds `path`, so that files created, renamed or
// removed in it stay so after a crash. False on an error.
bool syncFolderOf(const std::string& path);

// Writes `text` as the whole of file `path` (created or truncated) and syncs
// it. False on any failure.
bool writeSyncedFile(const std::string& path, const std::string& text);
