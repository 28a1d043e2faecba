// The report files: which file a name reaches, and a report written there whole or not
// at all. One implementation per system (report_file_posix.cpp, report_file_windows.cpp).
#pragma once

#include <string>

// Whether two names reach one file that a report would replace, by any spelling (links,
// ".", the case that Windows ignores), also when the file does not exist yet. Streams
// (devices, pipes, standard output's own file) take one report after the other: never
// the same file.
bool SameFile(const std::string &a, const std::string &b);

// Writes text where opening path for writing leads, under the system's rules for that.
// An existing regular file is replaced whole or not at all: text goes to a new file in
// the same folder, synced and renamed over it, and the folder is synced; where that
// cannot keep what the file had (its owner, a second name, an ACL) or the folder
// forbids it, the file is written in place once room for text is reserved. No new file
// is left where the report did not get in whole. A device, a pipe or a standard
// stream's own file takes text as a stream (the latter through that stream); a pipe
// nobody reads fails at once. Empty on success, otherwise the reason ("No space left on
// device"); remark says what the user should know of a report that was written (room
// that could not be reserved).
std::string WriteReportFile(const std::string &path, const std::string &text, std::string &remark);

// Before a run: makes sure a report can be written where path leads, and leaves
// placeholder in a file there until the report replaces it, so that no earlier report
// outlives a run that is ended before it writes its own; a stream is only opened. Empty
// when the report can go there, otherwise the reason.
std::string PrepareReportFile(const std::string &path, const std::string &placeholder);
