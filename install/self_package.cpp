#include "install/self_package.h"

#include "core/config.h"
#include "core/run_log.h"
#include "core/path_helpers.h"
#include "core/path_text.h"
#include "list/list_snapshot.h"
#include "list/update_list.h"
#include "platform/files.h"
#include "platform/message_box.h"
#include "platform/stream_file.h"

#include <algorithm>

namespace rk {

bool parsePackageTrailer(std::string_view tail, std::uint64_t fileSize, PackageTrailer& trailer)
{
    if (tail.size() != 20 || fileSize < 20)
        return false;
    std::string_view marker = tail.substr(8);
    if (marker != "RenewKitZip1" && marker != "RenewKitZip0")
        return false;
    auto le32 = [&](size_t at) {
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i)
            v = (v << 8) | static_cast<unsigned char>(tail[at + i]);
        return v;
    };
    trailer.offset = le32(0);
    trailer.length = le32(4);
    // A trailer that points outside the file is not trusted with a copy.
    return static_cast<std::uint64_t>(trailer.offset) + trailer.length <= fileSize - 20;
}

void checkSelfPackage()
{
    StreamFile self;
    if (!self.openRead(moduleFileName()))
        return;
    const std::uint64_t size = self.size();
    std::string tail(20, '\0');
    PackageTrailer trailer;
    if (size < 20 || !self.readAt(size - 20, tail.data(), 20) || !parsePackageTrailer(tail, size, trailer))
        return;
    const std::wstring target = collapseBackslashes(config::temporaryDirectory() + L"\\__package4renewkit.tmp");
    deleteFile(target);
    StreamFile out;
    if (!out.create(target) && !out.create(target))
        showMessage(nullptr, L"Find some wrong in this update package!", L"RenewKit", MessageKind::Ok);
    char chunk[1024];
    std::uint64_t done = 0;
    while (out.isOpen() && done < trailer.length) {
        size_t n = static_cast<size_t>(std::min<std::uint64_t>(sizeof chunk, trailer.length - done));
        if (!self.readAt(trailer.offset + done, chunk, n) || !out.write(chunk, n)) {
            logLine(L"error[" + target + L"]");
            break;
        }
        done += n;
    }
    out.close();
    loadPackagedListSnapshot(collapseBackslashes(config::temporaryDirectory() + L"\\__list4renewkit.tmp"));
}

bool loadPackagedListSnapshot(const std::wstring& path)
{
    std::string bytes;
    if (!readFileBytes(path, bytes))
        return false;
    DownLoadList& list = DownLoadList::shared();
    bool loaded = readSnapshot(bytes, list);
    if (loaded)
        list.splitOutDescriptionsAndRuns();
    else
        logLine(L"error[" + path + L"]");
    deleteFile(path);
    return loaded;
}

} // namespace rk
