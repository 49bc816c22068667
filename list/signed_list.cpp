#include "list/signed_list.h"

#include "core/app_directory.h"
#include "core/path_text.h"
#include "list/list_compare.h"
#include "platform/codepage.h"
#include "platform/files.h"

#include <cstring>
#include <mutex>

namespace rk {
namespace {

constexpr unsigned kUtf8 = 65001;
constexpr size_t kMaxDocumentBytes = 64u << 20;
const char kDocumentsMagic[] = "renewkit-signed-documents 1\n";

std::mutex g_acceptedMutex; // guards g_accepted
SignedDocuments g_accepted;

} // namespace

std::wstring listDocumentText(const std::string& bytes)
{
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::wstring text((bytes.size() - 2) / 2, L'\0');
        for (size_t i = 0; i < text.size(); ++i)
            text[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 + 2 * i]) |
                                           (static_cast<unsigned char>(bytes[3 + 2 * i]) << 8));
        return text;
    }
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE &&
        static_cast<unsigned char>(bytes[1]) == 0xFF) {
        std::wstring text((bytes.size() - 2) / 2, L'\0');
        for (size_t i = 0; i < text.size(); ++i)
            text[i] = static_cast<wchar_t>((static_cast<unsigned char>(bytes[2 + 2 * i]) << 8) |
                                           static_cast<unsigned char>(bytes[3 + 2 * i]));
        return text;
    }
    std::string_view view(bytes);
    if (view.size() >= 3 && view.compare(0, 3, "\xEF\xBB\xBF") == 0)
        view.remove_prefix(3);
    return bytesToWide(view, kUtf8);
}

namespace {

bool isSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

// Skips the prolog: declaration, processing instructions, comments, a
// document type (with its internal subset). npos when no element follows.
size_t rootStart(const std::wstring& text)
{
    size_t at = 0;
    while (at < text.size()) {
        if (isSpace(text[at])) {
            ++at;
        } else if (text.compare(at, 2, L"<?") == 0) {
            const size_t end = text.find(L"?>", at + 2);
            if (end == std::wstring::npos)
                return std::wstring::npos;
            at = end + 2;
        } else if (text.compare(at, 4, L"<!--") == 0) {
            const size_t end = text.find(L"-->", at + 4);
            if (end == std::wstring::npos)
                return std::wstring::npos;
            at = end + 3;
        } else if (text.compare(at, 2, L"<!") == 0) {
            int depth = 0;
            size_t i = at + 2;
            for (; i < text.size(); ++i) {
                if (text[i] == L'[')
                    ++depth;
                else if (text[i] == L']')
                    --depth;
                else if (text[i] == L'>' && depth <= 0)
                    break;
            }
            if (i >= text.size())
                return std::wstring::npos;
            at = i + 1;
        } else if (text[at] == L'<') {
            return at;
        } else {
            return std::wstring::npos;
        }
    }
    return std::wstring::npos;
}

// The root element's attributes, the first of each name.
bool rootAttribute(const std::wstring& text, const std::wstring& wanted, std::wstring& value, bool& found)
{
    found = false;
    size_t at = rootStart(text);
    if (at == std::wstring::npos)
        return false;
    ++at;
    while (at < text.size() && !isSpace(text[at]) && text[at] != L'>' && text[at] != L'/')
        ++at;
    for (;;) {
        while (at < text.size() && isSpace(text[at]))
            ++at;
        if (at >= text.size())
            return false;
        if (text[at] == L'>' || text[at] == L'/')
            return true;
        const size_t nameStart = at;
        while (at < text.size() && !isSpace(text[at]) && text[at] != L'=' && text[at] != L'>')
            ++at;
        const std::wstring name = text.substr(nameStart, at - nameStart);
        while (at < text.size() && isSpace(text[at]))
            ++at;
        if (at >= text.size() || text[at] != L'=')
            return false;
        ++at;
        while (at < text.size() && isSpace(text[at]))
            ++at;
        if (at >= text.size() || (text[at] != L'"' && text[at] != L'\''))
            return false;
        const wchar_t quote = text[at++];
        const size_t end = text.find(quote, at);
        if (end == std::wstring::npos)
            return false;
        if (name == wanted && !found) {
            found = true;
            value = text.substr(at, end - at);
        }
        at = end + 1;
    }
}

bool parseDigits(const std::wstring& text, size_t at, size_t count, int& out)
{
    if (at + count > text.size())
        return false;
    out = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (text[i] < L'0' || text[i] > L'9')
            return false;
        out = out * 10 + (text[i] - L'0');
    }
    return true;
}

// Days from 1970-01-01 to the civil date (proleptic Gregorian).
long long daysFromCivil(int y, int m, int d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

bool leapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

std::wstring policyText(const ListPolicy& policy)
{
    std::wstring text = L"serial " + (policy.hasSerial ? std::to_wstring(policy.serial) : std::wstring(L"none"));
    text += L", expires " + (policy.hasExpires ? formatUtcTime(policy.expires) : std::wstring(L"never"));
    return text;
}

void putLength(std::string& out, std::uint64_t n)
{
    for (int i = 0; i < 8; ++i)
        out += static_cast<char>((n >> (8 * i)) & 0xFF);
}

bool takePiece(const std::string& bytes, size_t& at, std::string& piece)
{
    if (bytes.size() - at < 8)
        return false;
    std::uint64_t n = 0;
    for (int i = 7; i >= 0; --i)
        n = (n << 8) | static_cast<unsigned char>(bytes[at + i]);
    at += 8;
    if (n > kMaxDocumentBytes || n > bytes.size() - at)
        return false;
    piece = bytes.substr(at, static_cast<size_t>(n));
    at += static_cast<size_t>(n);
    return true;
}

} // namespace

bool parseUtcTime(const std::wstring& raw, long long& seconds)
{
    const std::wstring text = trimBlanks(raw);
    int y, mo, d, h = 0, mi = 0, s = 0;
    if (!parseDigits(text, 0, 4, y) || text.size() < 10 || text[4] != L'-' || !parseDigits(text, 5, 2, mo) ||
        text[7] != L'-' || !parseDigits(text, 8, 2, d))
        return false;
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (mo < 1 || mo > 12 || d < 1 || d > kDays[mo - 1] + (mo == 2 && leapYear(y) ? 1 : 0))
        return false;
    size_t at = 10;
    if (at < text.size()) {
        if (text[at] != L'T' && text[at] != L't')
            return false;
        if (!parseDigits(text, at + 1, 2, h) || at + 3 >= text.size() || text[at + 3] != L':' ||
            !parseDigits(text, at + 4, 2, mi))
            return false;
        at += 6;
        if (at < text.size() && text[at] == L':') {
            if (!parseDigits(text, at + 1, 2, s))
                return false;
            at += 3;
            if (at < text.size() && text[at] == L'.') {
                ++at;
                const size_t digits = at;
                while (at < text.size() && text[at] >= L'0' && text[at] <= L'9')
                    ++at;
                if (at == digits)
                    return false;
            }
        }
        // Only UTC is accepted: a list is published for every time zone at once.
        const std::wstring zone = text.substr(at);
        if (zone != L"Z" && zone != L"z" && zone != L"+00:00")
            return false;
        if (h > 23 || mi > 59 || s > 60)
            return false;
    }
    seconds = daysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
    return true;
}

std::wstring formatUtcTime(long long seconds)
{
    long long days = seconds / 86400;
    long long rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    // Civil date from days since 1970 (the inverse of daysFromCivil).
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long doe = days - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const long long d = doy - (153 * mp + 2) / 5 + 1;
    const long long m = mp + (mp < 10 ? 3 : -9);
    const long long y = yoe + era * 400 + (m <= 2);
    wchar_t buffer[40];
    swprintf(buffer, 40, L"%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ", y, m, d, rest / 3600, rest / 60 % 60,
             rest % 60);
    return buffer;
}

ListPolicy readListPolicy(const std::string& bytes)
{
    ListPolicy policy;
    const std::wstring text = listDocumentText(bytes);
    std::wstring serial, expires;
    bool found = false;
    if (rootAttribute(text, L"serial", serial, found) && found) {
        policy.hasSerial = true;
        policy.serial = parseWholeNumber(serial);
        if (policy.serial <= 0) {
            policy.hasSerial = false;
            policy.serial = 0;
            policy.error = L"serial \"" + serial + L"\" is not a positive integer";
        }
    }
    if (rootAttribute(text, L"expires", expires, found) && found) {
        policy.hasExpires = parseUtcTime(expires, policy.expires);
        if (!policy.hasExpires)
            policy.error = L"expires \"" + expires + L"\" is no UTC time (like 2027-01-31T00:00:00Z)";
    }
    return policy;
}

std::wstring signatureUrl(const std::wstring& url)
{
    const size_t query = url.find_first_of(L"?#");
    if (query == std::wstring::npos)
        return url + L".sig";
    return url.substr(0, query) + L".sig" + url.substr(query);
}

ListCheck checkSignedList(const std::string& bytes, const std::string* signatureText, const ReleaseKeys& keys,
                          long long installedSerialValue, long long nowUtc, ListRole role, const std::wstring& name)
{
    ListCheck check;
    const std::wstring refused = L"; the list is not used.";
    switch (checkDocumentSignature(bytes, signatureText, keys.keys)) {
    case SignatureCheck::Missing:
        check.logLine =
            L"The signature of the list [" + name + L"] could not be fetched (" + signatureUrl(name) + L")" + refused;
        return check;
    case SignatureCheck::Malformed:
        check.logLine = L"The signature of the list [" + name + L"] is malformed" + refused;
        return check;
    case SignatureCheck::Wrong:
        check.logLine =
            L"The signature of the list [" + name + L"] does not match " +
            (keys.keys.empty() ? std::wstring(L"any usable key of [Security]") : std::wstring(L"the release keys")) +
            refused;
        return check;
    case SignatureCheck::Good:
        break;
    }
    const ListPolicy policy = readListPolicy(bytes);
    if (!policy.error.empty()) {
        check.logLine = L"The signed list [" + name + L"] is refused: its " + policy.error + L".";
        return check;
    }
    if (role == ListRole::UpdateList && (!policy.hasSerial || !policy.hasExpires)) {
        check.logLine = L"The signed list [" + name + L"] is refused: it carries no " +
                        (policy.hasSerial ? L"expires" : L"serial") + L" attribute on its root element.";
        return check;
    }
    if (policy.hasSerial && policy.serial < installedSerialValue) {
        check.logLine = L"The signed list [" + name + L"] is refused as a rollback: its serial " +
                        std::to_wstring(policy.serial) + L" is below the installed serial " +
                        std::to_wstring(installedSerialValue) + L".";
        return check;
    }
    if (policy.hasExpires && policy.expires <= nowUtc) {
        check.logLine = L"The signed list [" + name + L"] is refused as frozen: it expired at " +
                        formatUtcTime(policy.expires) + L", and the time now is " + formatUtcTime(nowUtc) + L".";
        return check;
    }
    check.accepted = true;
    check.serial = policy.hasSerial ? policy.serial : 0;
    check.logLine = L"The list [" + name + L"] is signed by a release key (" + policyText(policy) + L").";
    return check;
}

std::wstring installedSerialPath() { return collapseBackslashes(applicationDirectory() + kLocalListName + L".serial"); }

long long installedSerial()
{
    std::string text;
    if (!readFileBytesLimited(installedSerialPath(), text, 64))
        return 0;
    const long long value = parseWholeNumber(std::wstring(text.begin(), text.end()));
    return value < 0 ? 0 : value;
}

bool recordInstalledSerial(long long serial)
{
    if (serial <= installedSerial())
        return true;
    return writeFileBytes(installedSerialPath(), std::to_string(serial) + "\r\n");
}

void setAcceptedDocuments(SignedDocuments documents)
{
    std::lock_guard<std::mutex> guard(g_acceptedMutex);
    g_accepted = std::move(documents);
}

SignedDocuments acceptedDocuments()
{
    std::lock_guard<std::mutex> guard(g_acceptedMutex);
    return g_accepted;
}

void clearAcceptedDocuments() { setAcceptedDocuments(SignedDocuments()); }

std::string writeSignedDocuments(const SignedDocuments& documents)
{
    std::string out = kDocumentsMagic;
    for (const std::string* piece :
         {&documents.list, &documents.listSignature, &documents.master, &documents.masterSignature}) {
        putLength(out, piece->size());
        out += *piece;
    }
    putLength(out, static_cast<std::uint64_t>(documents.serial));
    return out;
}

bool readSignedDocuments(const std::string& bytes, SignedDocuments& documents)
{
    const size_t magic = std::strlen(kDocumentsMagic);
    if (bytes.compare(0, magic, kDocumentsMagic) != 0)
        return false;
    size_t at = magic;
    SignedDocuments read;
    for (std::string* piece : {&read.list, &read.listSignature, &read.master, &read.masterSignature}) {
        if (!takePiece(bytes, at, *piece))
            return false;
    }
    if (bytes.size() - at != 8)
        return false;
    std::uint64_t serial = 0;
    for (int i = 7; i >= 0; --i)
        serial = (serial << 8) | static_cast<unsigned char>(bytes[at + i]);
    read.serial = static_cast<long long>(serial & 0x7FFFFFFFFFFFFFFFull);
    documents = std::move(read);
    return true;
}

} // namespace rk
