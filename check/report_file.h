// The report files: which file a name reaches, and a report replaced in one step.
#pragma once

#include <string>

// Whether two names reach one file by any spelling (links, ".", the case that Windows
// ignores), also when the file does not exist yet.
bool SameFile(const std::string &a, const std::string &b);

// Replaces the file that path names with text, whole or not at all: text is written to
// a new file beside it, synced and renamed over it, so that on any failure the old file
// stays as it was. A device (/dev/null, NUL) is written in place, and so is a report
// whose folder or owner forbids replacing it, if it may be written; a pipe that nobody
// reads fails at once. Empty on success, otherwise the reason ("No space left on device").
std::string WriteReportFile(const std::string &path, const std::string &text);
