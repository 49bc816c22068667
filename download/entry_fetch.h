#pragma once
// One file into the temporary list folder: the zipped variant D + "._.zip" first
// (for the list file in the order ListFileZip remembers), the plain file second,
// unpacking a zipped variant, and the done marker D + "_" of a finished entry.
// Blocks the calling thread; entries run on threads of their own at once.

#include "platform/window_messages.h"

#include "install/file_replace.h"
#include "list/update_list.h"

#include <string>

namespace rk {

// D of an entry: its place inside the temporary list folder (core/temp_list_path.h),
// also for a path with a drive or "..": only the copy stage writes installed files.
std::wstring entryDestination(const std::wstring& folder, const std::wstring& path);

// slot is the entry's list index, or -1 for a list file (no done marker, no
// notes, ListFileZip read and stored). True when the finished file is in place:
// D + "_" for an entry, D for a list file. Progress goes to window (may be null).
// With expected, the finished file (unzipped) must pass its integrity check;
// a file that does not is deleted, logged and not marked done, the other
// variant is tried, and *rejected tells the caller that the server's bytes
// were refused (so another pass would fetch the same).
bool downloadEntry(WindowHandle window, int slot, const std::wstring& url, const std::wstring& destination,
                   const updatefileinfo* expected = nullptr, bool* rejected = nullptr);

// The UnZip setting as a pass read it at its start, for all of its entries: each
// read of a setting that is not in the file opens the file again. Without a pass
// every entry reads it.
class PassUnzipSetting {
public:
    PassUnzipSetting();
    ~PassUnzipSetting();
    PassUnzipSetting(const PassUnzipSetting&) = delete;
    PassUnzipSetting& operator=(const PassUnzipSetting&) = delete;
};

// Appends the line and a line feed to the notes of entry `slot` of the shared
// update list, under the notes lock; nothing for a slot outside the list.
// While an EntryNotes of that slot lives on the calling thread, the line is
// gathered there instead.
void appendEntryNote(int slot, const std::wstring& line);

// The notes of one entry's download, gathered on its thread and stored in the
// list at the end in one step under the notes lock (one wait for the lock
// instead of one per line). They replace the entry's earlier notes.
class EntryNotes {
public:
    explicit EntryNotes(int slot);
    ~EntryNotes();
    EntryNotes(const EntryNotes&) = delete;
    EntryNotes& operator=(const EntryNotes&) = delete;

private:
    friend void appendEntryNote(int slot, const std::wstring& line);
    int m_slot;
    std::wstring m_text;
    EntryNotes* m_outer;
};

} // namespace rk
