#include "tools/pack/pack.h"

#include "core/path_helpers.h"
#include "core/path_text.h"
#include "list/list_loader.h"
#include "list/signed_list.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/stream_file.h"
#include "platform/zip_io.h"
#include "tools/pack/md5.h"
#include "tools/pack/signing.h"

#include <algorithm>

namespace rk::pack {
namespace {

std::string utf8(const std::wstring& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string escaped(const std::wstring& text)
{
    std::string out;
    for (char c : utf8(text)) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::wstring withSlash(std::wstring folder)
{
    if (folder.empty() || folder.back() != L'\\')
        folder += L'\\';
    return folder;
}

void collectFiles(const std::wstring& root, const std::wstring& relative, std::vector<std::wstring>& out)
{
    for (const DirectoryEntry& entry : listDirectory(root + relative)) {
        std::wstring path = relative + entry.name;
        if (entry.isDirectory)
            collectFiles(root, path + L"\\", out);
        else
            out.push_back(path);
    }
}

std::wstring baseName(const std::wstring& path)
{
    size_t at = path.find_last_of(L'\\');
    return at == std::wstring::npos ? path : path.substr(at + 1);
}

// Reads the file once: its MD5, the plain copy and the zipped variant.
std::wstring packFile(const std::wstring& source, const std::wstring& target, const std::wstring& name, bool zipped,
                      PackedFile& packed)
{
    StreamFile in;
    if (!in.openRead(source))
        return L"cannot read file: " + source;
    createFolderChain(target);
    StreamFile plain;
    if (!plain.create(target))
        return L"cannot write file: " + target;
    ZipWriter zip;
    if (zipped && (!zip.create(target + L"._.zip") || !zip.beginEntry(utf8(name), in.size() >= 0xFFFFFFFFull)))
        return L"cannot write file: " + target + L"._.zip";
    Md5 hash;
    Hasher sha256(HashAlgorithm::Sha256);
    std::string block(1 << 20, '\0');
    const std::uint64_t size = in.size();
    for (std::uint64_t at = 0; at < size;) {
        size_t n = static_cast<size_t>(std::min<std::uint64_t>(block.size(), size - at));
        if (!in.readAt(at, block.data(), n))
            return L"cannot read file: " + source;
        hash.update(block.data(), n);
        sha256.update(block.data(), n);
        if (!plain.write(block.data(), n) || (zipped && !zip.write(block.data(), n)))
            return L"cannot write file: " + target;
        at += n;
    }
    if (!plain.flush() || (zipped && (!zip.endEntry() || !zip.close())))
        return L"cannot write file: " + target;
    packed.md5 = hash.hexDigest();
    packed.sha256 = toHex(sha256.finish());
    packed.size = size;
    if (packed.sha256.empty())
        return L"cannot hash file: " + source;
    return std::wstring();
}

unsigned long long fileSizeOf(const std::wstring& path)
{
    StreamFile file;
    return file.openRead(path) ? file.size() : 0;
}

std::wstring writeDocument(const std::wstring& path, const std::string& bytes, bool zipped, const std::wstring& name)
{
    if (!writeFileBytes(path, bytes))
        return L"cannot write file: " + path;
    if (!zipped)
        return std::wstring();
    ZipWriter zip;
    if (!zip.create(path + L"._.zip") || !zip.beginEntry(utf8(name), false) || !zip.write(bytes.data(), bytes.size()) ||
        !zip.endEntry() || !zip.close())
        return L"cannot write file: " + path + L"._.zip";
    return std::wstring();
}

} // namespace

std::wstring usage()
{
    return L"usage: renewkit-pack RELEASE_FOLDER OUTPUT_FOLDER [options]\n"
           L"  --list NAME           name of the update list (default update.xml)\n"
           L"  --probe NAME          name of the version probe document (default version.xml)\n"
           L"  --fileurl TEMPLATE    file address template, e.g. {listurl-base}/files/{filename}\n"
           L"  --description TEXT    release notes (\\n starts a new line)\n"
           L"  --guid TEXT           list identifier\n"
           L"  --version TEXT        version in the probe document (default: the list's MD5)\n"
           L"  --action PATH=TEXT    action of one file, e.g. app.exe=run or old.dll=del\n"
           L"  --run PATH|PARAM|WAIT|KEY  a command run after the update (fields after PATH optional)\n"
           L"  --sublist URL         a sub-list address for the probe document (repeatable)\n"
           L"  --no-zip              write no zipped variants\n"
           L"  --delta-from FOLDER   a previous publish folder: deltas from its files for those that changed\n"
           L"                        (repeatable, for users several releases behind)\n"
           L"  --delta-share PERCENT a delta is kept below this share of the zipped variant (default 50)\n"
           L"  --sign KEYFILE        sign the list and the master list (writes NAME.sig beside each)\n"
           L"  --serial N            serial of the signed list (default: one more than the list in OUTPUT_FOLDER)\n"
           L"  --expires DAYS        the signed list expires after DAYS days (default 30)\n"
           L"usage: renewkit-pack keygen OUT_PREFIX\n"
           L"  writes OUT_PREFIX.key (the private key, for --sign; keep it secret) and OUT_PREFIX.pub\n"
           L"  (the [Security] PublicKey line of the updater's configuration)\n";
}

bool parseArguments(const std::vector<std::wstring>& args, PackOptions& options, std::wstring& error)
{
    std::vector<std::wstring> positional;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        if (arg == L"--no-zip") {
            options.zipped = false;
            continue;
        }
        if (arg.rfind(L"--", 0) != 0) {
            positional.push_back(arg);
            continue;
        }
        if (i + 1 >= args.size()) {
            error = L"missing value after " + arg;
            return false;
        }
        const std::wstring& value = args[++i];
        if (arg == L"--list") {
            options.listName = value;
        } else if (arg == L"--probe") {
            options.probeName = value;
        } else if (arg == L"--fileurl") {
            options.fileUrl = value;
        } else if (arg == L"--description") {
            options.description = value;
        } else if (arg == L"--guid") {
            options.guid = value;
        } else if (arg == L"--version") {
            options.version = value;
        } else if (arg == L"--action") {
            size_t eq = value.find(L'=');
            if (eq == std::wstring::npos || eq == 0) {
                error = L"--action needs PATH=TEXT: " + value;
                return false;
            }
            options.actions[toLower(replaceAll(value.substr(0, eq), L"/", L"\\"))] = value.substr(eq + 1);
        } else if (arg == L"--run") {
            options.runs.push_back(value);
        } else if (arg == L"--sublist") {
            options.subLists.push_back(value);
        } else if (arg == L"--delta-from") {
            options.deltaFrom.push_back(value);
        } else if (arg == L"--delta-share") {
            const long long share = parseWholeNumber(value);
            if (share < 1 || share > 100) {
                error = L"--delta-share needs a percentage from 1 to 100: " + value;
                return false;
            }
            options.deltaShare = static_cast<long>(share);
        } else if (arg == L"--sign") {
            options.keyFile = value;
        } else if (arg == L"--serial") {
            options.serial = parseWholeNumber(value);
            if (options.serial <= 0) {
                error = L"--serial needs a positive whole number: " + value;
                return false;
            }
        } else if (arg == L"--expires") {
            const long long days = parseWholeNumber(value);
            if (days <= 0 || days > 36500) {
                error = L"--expires needs a number of days from 1 to 36500: " + value;
                return false;
            }
            options.expiresDays = static_cast<long>(days);
        } else {
            error = L"unknown option " + arg;
            return false;
        }
    }
    if (!positional.empty() && positional[0] == L"keygen") {
        if (positional.size() != 2) {
            error = L"keygen needs one output prefix";
            return false;
        }
        options.keygen = true;
        options.keyPrefix = positional[1];
        return true;
    }
    if (positional.size() != 2) {
        error = L"a release folder and an output folder are needed";
        return false;
    }
    options.release = positional[0];
    options.output = positional[1];
    return true;
}

namespace {

std::string stampAttributes(const ListStamp& stamp)
{
    if (stamp.serial <= 0)
        return std::string();
    std::string text = " serial=\"" + std::to_string(stamp.serial) + "\"";
    if (!stamp.expires.empty())
        text += " expires=\"" + escaped(stamp.expires) + "\"";
    return text;
}

} // namespace

std::string listDocument(const PackOptions& options, const std::vector<PackedFile>& files, const ListStamp& stamp)
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<update" + stampAttributes(stamp) + ">\r\n";
    if (!options.guid.empty())
        xml += "  <guid>" + escaped(options.guid) + "</guid>\r\n";
    if (!options.fileUrl.empty())
        xml += "  <fileurl>" + escaped(options.fileUrl) + "</fileurl>\r\n";
    if (!options.description.empty())
        xml += "  <description>" + escaped(options.description) + "</description>\r\n";
    for (const PackedFile& file : files) {
        xml += "  <file path=\"" + escaped(file.path) + "\" ver=\"" + file.md5 + "\" sha256=\"" + file.sha256 +
               "\" size=\"" + std::to_string(file.size) + "\"";
        if (!file.action.empty())
            xml += " oper=\"" + escaped(file.action) + "\"";
        if (file.deltas.empty()) {
            xml += "/>\r\n";
            continue;
        }
        xml += ">\r\n";
        for (const PackedDelta& delta : file.deltas)
            xml += "    <delta from=\"" + delta.from + "\" sha256=\"" + delta.sha256 + "\" size=\"" +
                   std::to_string(delta.size) + "\" file=\"" + escaped(delta.file) + "\"/>\r\n";
        xml += "  </file>\r\n";
    }
    static const char* const kRunFields[] = {"path", "param", "wait", "key"};
    for (const std::wstring& run : options.runs) {
        xml += "  <run";
        size_t at = 0;
        for (const char* field : kRunFields) {
            if (at > run.size())
                break;
            size_t bar = run.find(L'|', at);
            std::wstring value = run.substr(at, bar == std::wstring::npos ? std::wstring::npos : bar - at);
            if (!value.empty())
                xml += std::string(" ") + field + "=\"" + escaped(value) + "\"";
            at = bar == std::wstring::npos ? run.size() + 1 : bar + 1;
        }
        xml += "/>\r\n";
    }
    xml += "</update>\r\n";
    return xml;
}

std::string probeDocument(const std::wstring& version, const std::vector<std::wstring>& subLists)
{
    std::string text = "<ver>" + escaped(version) + "</ver>\r\n";
    for (const std::wstring& url : subLists)
        text += "<url>" + escaped(url) + "</url>\r\n";
    return text;
}

std::string masterListDocument(const ListStamp& stamp)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<update" + stampAttributes(stamp) + "/>\r\n";
}

bool folderInside(const std::wstring& folder, const std::wstring& outer)
{
    std::wstring inner = toLower(withSlash(fullPathName(folder)));
    std::wstring container = toLower(withSlash(fullPathName(outer)));
    return inner.compare(0, container.size(), container) == 0;
}

std::wstring packRelease(const PackOptions& options, std::vector<PackedFile>* packed, const PackProgress& progress)
{
    if (!directoryExists(options.release))
        return L"release folder not found: " + options.release;
    if (folderInside(options.output, options.release))
        return L"the output folder lies inside the release folder: " + options.output;
    // The key is checked before anything is written: a refused key leaves the
    // output folder as it was.
    SigningKey key;
    const bool signing = !options.keyFile.empty();
    if (signing) {
        std::wstring error = loadSigningKey(options.keyFile, key);
        if (!error.empty())
            return error;
    }
    const std::wstring release = withSlash(fullPathName(options.release));
    const std::wstring output = withSlash(fullPathName(options.output));
    // Read before anything is written, and never the output folder itself,
    // whose files this pack replaces while it reads the bases.
    std::vector<PreviousRelease> previous(options.deltaFrom.size());
    for (size_t i = 0; i < previous.size(); ++i) {
        if (toLower(withSlash(fullPathName(options.deltaFrom[i]))) == toLower(output))
            return L"--delta-from names the output folder; copy the previous release aside first: " +
                   options.deltaFrom[i];
        std::wstring error = readPreviousRelease(options.deltaFrom[i], options.listName, previous[i]);
        if (!error.empty())
            return error;
    }
    auto note = [&](const std::wstring& line) {
        if (progress.note)
            progress.note(line);
    };
    createFolderChain(output);
    if (!directoryExists(output))
        return L"cannot create the output folder: " + options.output;

    std::vector<std::wstring> paths;
    collectFiles(release, L"", paths);
    std::sort(paths.begin(), paths.end());
    for (const std::wstring& name : {options.listName, options.probeName, std::wstring(L"renewkit.main.xml")}) {
        if (std::find_if(paths.begin(), paths.end(),
                         [&](const std::wstring& p) { return toLower(p) == toLower(name); }) != paths.end())
            return L"a release file has the name of a published document: " + name;
    }
    for (const std::wstring& name : {options.listName + L".sig", std::wstring(L"renewkit.main.xml.sig")}) {
        if (std::find_if(paths.begin(), paths.end(),
                         [&](const std::wstring& p) { return toLower(p) == toLower(name); }) != paths.end())
            return L"a release file has the name of a published signature: " + name;
    }
    ListStamp stamp;
    if (signing || options.serial > 0 || options.expiresDays > 0) {
        stamp.serial = options.serial;
        if (stamp.serial <= 0) {
            std::string existing;
            readFileBytesLimited(output + options.listName, existing, 64ull << 20);
            const ListPolicy policy = readListPolicy(existing);
            stamp.serial = policy.hasSerial ? policy.serial + 1 : 1;
        }
        const long days = options.expiresDays > 0 ? options.expiresDays : kDefaultExpiryDays;
        stamp.expires = formatUtcTime(utcSecondsNow() + static_cast<long long>(days) * 86400);
    }
    std::vector<PackedFile> files;
    for (const std::wstring& path : paths) {
        PackedFile file;
        file.path = path;
        auto action = options.actions.find(toLower(path));
        if (action != options.actions.end())
            file.action = action->second;
        std::wstring error = packFile(release + path, output + path, baseName(path), options.zipped, file);
        // Deleted files are never fetched, so they need no delta.
        if (error.empty() && !previous.empty() && !(actionWord(file.action) & ACT_DELETE)) {
            const unsigned long long variant = options.zipped ? fileSizeOf(output + path + L"._.zip") : file.size;
            error =
                makeFileDeltas(previous, release, output, path, file.sha256,
                               variant * static_cast<unsigned long long>(options.deltaShare) / 100, file.deltas, note);
        }
        if (!error.empty())
            return error;
        files.push_back(file);
        if (progress.files)
            progress.files(files.size(), paths.size());
    }
    const std::string list = listDocument(options, files, stamp);
    const std::string master = masterListDocument(stamp);
    std::wstring error = writeDocument(output + options.listName, list, options.zipped, options.listName);
    if (error.empty())
        error = writeDocument(output + L"renewkit.main.xml", master, options.zipped, L"renewkit.main.xml");
    // Signed over the plain bytes, which the updater checks after unzipping a zipped variant.
    for (const auto& [name, bytes] : {std::pair<std::wstring, const std::string*>(options.listName, &list),
                                      std::pair<std::wstring, const std::string*>(L"renewkit.main.xml", &master)}) {
        if (!error.empty())
            break;
        if (!signing) {
            // An old signature beside a new unsigned list would only be refused.
            deleteFileForced(output + name + L".sig");
            continue;
        }
        const std::string signature = signatureFileText(key, *bytes);
        if (signature.empty())
            error = L"the system could not sign " + name;
        else if (!writeFileBytes(output + name + L".sig", signature))
            error = L"cannot write file: " + output + name + L".sig";
    }
    if (error.empty()) {
        Md5 hash;
        hash.update(list.data(), list.size());
        std::wstring version = options.version;
        if (version.empty()) {
            std::string hex = hash.hexDigest();
            version.assign(hex.begin(), hex.end());
        }
        error = writeDocument(output + options.probeName, probeDocument(version, options.subLists), false,
                              options.probeName);
    }
    if (packed)
        *packed = files;
    return error;
}

} // namespace rk::pack
