#include "download/entry_fetch.h"

#include "core/config.h"
#include "core/language.h"
#include "core/path_helpers.h"
#include "core/path_text.h"
#include "core/temp_list_path.h"
#include "core/text_format.h"
#include "download/delta_fetch.h"
#include "download/destination_lock.h"
#include "download/done_marker.h"
#include "download/progress_messages.h"
#include "download/segmented_downloader.h"
#include "download/transfer_slots.h"
#include "core/run_log.h"
#include "install/file_digest.h"
#include "install/unzip.h"
#include "list/update_list.h"
#include "platform/files.h"
#include "platform/named_lock.h"
#include "platform/sleep.h"
#include "platform/stream_file.h"

#include <atomic>
#include <optional>

namespace rk {
namespace {

std::atomic<int> g_passUnzip{-1}; // -1: no pass read it; else 0 or 1
thread_local EntryNotes* t_notes = nullptr;

bool unzipNow()
{
    const int value = g_passUnzip.load();
    return value < 0 ? unzipDownloads() : value != 0;
}

void note(int slot, const wchar_t* pattern, const std::wstring& value)
{
    if (slot >= 0)
        appendEntryNote(slot, fillText(tr(pattern), {value}));
}

long fileSizeOf(const std::wstring& path)
{
    StreamFile file;
    if (!file.openRead(path))
        return 0;
    return static_cast<long>(file.size());
}

} // namespace

PassUnzipSetting::PassUnzipSetting() { g_passUnzip.store(unzipDownloads() ? 1 : 0); }
PassUnzipSetting::~PassUnzipSetting() { g_passUnzip.store(-1); }

std::wstring entryDestination(const std::wstring& folder, const std::wstring& path)
{
    return tempListFilePath(folder, path);
}

EntryNotes::EntryNotes(int slot) : m_slot(slot), m_outer(t_notes) { t_notes = this; }

EntryNotes::~EntryNotes()
{
    t_notes = m_outer;
    if (m_slot < 0)
        return;
    try {
        NamedLockGuard guard(locks::kEntryNotes);
        DownLoadList& list = DownLoadList::shared();
        if (m_slot < list.count())
            list.entries[static_cast<size_t>(m_slot)].notes = std::move(m_text);
    } catch (...) {
        // Out of memory for the notes: the entry's result stands without them.
    }
}

void appendEntryNote(int slot, const std::wstring& line)
{
    if (slot < 0)
        return;
    if (t_notes && t_notes->m_slot == slot) {
        t_notes->m_text += line + L"\n";
        return;
    }
    NamedLockGuard guard(locks::kEntryNotes);
    DownLoadList& list = DownLoadList::shared();
    if (slot < list.count())
        list.entries[static_cast<size_t>(slot)].notes += line + L"\n";
}

bool downloadEntry(WindowHandle window, int slot, const std::wstring& url, const std::wstring& destination,
                   const updatefileinfo* expected, bool* rejected)
{
    if (rejected)
        *rejected = false;
    // Entries of one path share their file: one of them fetches it, the others
    // wait and then find its done marker.
    std::optional<DestinationLock> sameFile;
    if (slot >= 0)
        sameFile.emplace(destination);
    // True when the file may stay; a refused one is deleted and logged.
    auto passes = [&](const std::wstring& file, const std::wstring& from, const std::wstring& problem) {
        if (problem.empty())
            return true;
        logLine(L"The file [" + from + L"] is refused and deleted: " + problem + L".");
        note(slot, L"error[%s]", from);
        deleteFileForced(file);
        if (rejected)
            *rejected = true;
        return false;
    };
    auto accepted = [&](const std::wstring& file, const std::wstring& from) {
        return !expected || passes(file, from, fileIntegrityProblem(file, *expected));
    };
    const std::wstring done = destination + L"_";
    // A run stopped half-way leaves its finished files behind; one made for
    // another release of the list is not this entry's file.
    if (slot >= 0 && fileExists(done) && !doneMarkerIsCurrent(done, expected)) {
        logLine(L"The finished file [" + done + L"] was made for another version of the entry; it is fetched again.");
        dropDoneMarker(done);
    }
    auto markDone = [&] {
        if (!robustRename(destination, done))
            return false;
        recordDoneMarker(done, expected);
        return true;
    };
    // A file finished in an earlier pass or run is checked again: it has lain in
    // the temporary folder since.
    if (slot >= 0 && fileExists(done) && !accepted(done, done) && rejected)
        *rejected = false;
    if (slot >= 0 && fileExists(done)) {
        long size = fileSizeOf(done);
        sendProgress(window, WM_DL_FILESIZE, slot, size);
        sendProgress(window, WM_DL_RECEIVED, slot, size);
        return true;
    }
    createFolderChain(destination);
    // A delta from the installed file first: it costs the change, not the file.
    if (slot >= 0 && expected && fetchByDelta(window, slot, url, destination, *expected))
        return markDone();
    const std::wstring zip = destination + L"._.zip";
    bool zipped = slot < 0 ? config::readFlag(L"RenewKit", L"ListFileZip", L"0") : true;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const std::wstring tried = zipped ? url + L"._.zip" : url;
        const std::wstring target = zipped ? zip : destination;
        takeTransferSlotAgain();
        if (!downloadFile(tried, target, slot, window)) {
            note(slot, L"error[%s]", tried);
            zipped = !zipped;
            deleteFileForced(target);
            continue;
        }
        // Unpacking, checking and marking need no place of the pass: the next
        // entry's transfer runs meanwhile.
        giveBackTransferSlot();
        if (slot < 0)
            config::write(L"RenewKit", L"ListFileZip", zipped ? L"1" : L"0");
        note(slot, L"done[%s]", tried);
        // A done marker that could not be made is no finished entry: the next pass tries again.
        if (!zipped) {
            if (!accepted(destination, tried)) {
                zipped = !zipped;
                continue;
            }
            return slot < 0 || markDone();
        }
        if (slot < 0 || unzipNow()) {
            // Hashed as it is unpacked: the check needs no second read of the file.
            UnpackedDigest digest;
            const bool hashing = expected && hasFileDigest(*expected);
            if (unzipSingleFile(zip, destination, hashing ? &digest : nullptr)) {
                note(slot, L"unzip ok[%s]", zip);
                deleteFileForced(zip);
                if (!(hashing ? passes(destination, tried, digestProblem(digest.size, digest.sha256, *expected))
                              : accepted(destination, tried))) {
                    zipped = false;
                    continue;
                }
                return slot < 0 || markDone();
            }
            note(slot, L"unzip error[%s]", zip);
            deleteFileForced(zip);
            deleteFileForced(destination);
            zipped = false;
            continue;
        }
        // Kept packed: the copy stage moves the folder as it is.
        robustRename(destination, done);
        return true;
    }
    return false;
}

} // namespace rk
