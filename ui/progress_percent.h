#pragma once
// What the progress window's label shows for the last stage it was told of
// and the last download progress. Pure: values in, values out.

#include <string>

namespace rk {

// The percentage for a stage number: 10 while checking, 10 to 70 while
// downloading (done of total files), 70, 80, 95, 99 and 100 for the later
// stages, 0 for errors and unknown numbers. While the download has not yet
// reported a total (or reports more done than total) the share is 0 resp. all.
int progressPercent(int status, long done, long total);

// The label text: the percentage right-aligned in two places, a percent sign
// and 32 blanks.
std::wstring percentLabel(int percent);

// The stages in which a run ends that failed: the check (2), the download (5),
// the local check (8) or the copy (11).
bool isFailedStage(int status);

} // namespace rk
