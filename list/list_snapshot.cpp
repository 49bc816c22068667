#include "list/list_snapshot.h"

#include "platform/named_lock.h"

#include <cstdint>
#include <vector>

namespace rk {
namespace {

// The smallest entry: eight empty strings and the action word.
constexpr std::size_t kMinEntryBytes = 9 * 4;

class Writer {
public:
    void word(std::uint32_t value)
    {
        for (int shift = 0; shift < 32; shift += 8)
            m_bytes.push_back(static_cast<char>((value >> shift) & 0xFF));
    }
    void text(const std::wstring& value)
    {
        word(static_cast<std::uint32_t>(value.size()));
        for (wchar_t unit : value) {
            const auto u = static_cast<std::uint16_t>(unit);
            m_bytes.push_back(static_cast<char>(u & 0xFF));
            m_bytes.push_back(static_cast<char>(u >> 8));
        }
    }
    std::string take() { return std::move(m_bytes); }

private:
    std::string m_bytes;
};

// Every read checks what is left first, so no count can reach past the end.
class Reader {
public:
    explicit Reader(std::string_view bytes) : m_bytes(bytes) {}

    std::size_t remaining() const { return m_bytes.size() - m_pos; }
    std::size_t position() const { return m_pos; }

    bool word(std::uint32_t& value)
    {
        if (remaining() < 4)
            return false;
        value = 0;
        for (int i = 0; i < 4; ++i)
            value |= static_cast<std::uint32_t>(static_cast<unsigned char>(m_bytes[m_pos + i])) << (8 * i);
        m_pos += 4;
        return true;
    }
    bool signedWord(std::int32_t& value)
    {
        std::uint32_t raw = 0;
        if (!word(raw))
            return false;
        value = static_cast<std::int32_t>(raw);
        return true;
    }
    bool text(std::wstring& value)
    {
        std::uint32_t units = 0;
        if (!word(units) || units > remaining() / 2)
            return false;
        value.resize(units);
        for (std::uint32_t i = 0; i < units; ++i) {
            const auto low = static_cast<unsigned char>(m_bytes[m_pos + 2 * i]);
            const auto high = static_cast<unsigned char>(m_bytes[m_pos + 2 * i + 1]);
            value[i] = static_cast<wchar_t>(low | (high << 8));
        }
        m_pos += 2 * static_cast<std::size_t>(units);
        return true;
    }
    // A count of items that each take at least itemBytes.
    bool count(std::uint32_t& value, std::size_t itemBytes) { return word(value) && value <= remaining() / itemBytes; }

private:
    std::string_view m_bytes;
    std::size_t m_pos = 0;
};

struct SnapshotFields {
    std::map<std::wstring, std::wstring> valueMap;
    std::vector<std::wstring> runCommands;
    std::wstring description;
    std::wstring listUrlBase;
    std::wstring fileUrlTemplate;
    std::wstring downloadDir;
    std::wstring listGuid;
    std::int32_t snapshotWord = 0;
    std::vector<updatefileinfo> entries;
};

bool readEntry(Reader& in, updatefileinfo& e)
{
    return in.text(e.url) && in.text(e.path) && in.text(e.dstNames) && in.text(e.version) && in.text(e.notes) &&
           in.text(e.shortcut) && in.text(e.shortcutIcon) && in.text(e.iconIndex) && in.signedWord(e.actions);
}

bool readFields(Reader& in, SnapshotFields& f)
{
    for (;;) {
        std::wstring key;
        if (!in.text(key))
            return false;
        if (key == kSnapshotMapEnd)
            break;
        std::wstring value;
        if (!in.text(value))
            return false;
        f.valueMap[key] = std::move(value);
    }
    std::uint32_t commands = 0;
    if (!in.count(commands, 4))
        return false;
    f.runCommands.resize(commands);
    for (auto& command : f.runCommands) {
        if (!in.text(command))
            return false;
    }
    if (!in.text(f.description) || !in.text(f.listUrlBase) || !in.text(f.fileUrlTemplate) || !in.text(f.downloadDir) ||
        !in.text(f.listGuid) || !in.signedWord(f.snapshotWord))
        return false;
    std::uint32_t entries = 0;
    if (!in.count(entries, kMinEntryBytes))
        return false;
    f.entries.resize(entries);
    for (auto& entry : f.entries) {
        if (!readEntry(in, entry))
            return false;
    }
    return true;
}

} // namespace

std::string writeSnapshot(const DownLoadList& list)
{
    Writer out;
    for (const auto& [key, value] : list.valueMap) {
        if (key.empty() || key == kSnapshotMapEnd)
            continue;
        out.text(key);
        out.text(value);
    }
    out.text(kSnapshotMapEnd);
    out.word(static_cast<std::uint32_t>(list.runCommands.size()));
    for (const auto& command : list.runCommands)
        out.text(command);
    out.text(list.description);
    out.text(list.listUrlBase);
    out.text(list.fileUrlTemplate);
    out.text(list.downloadDir);
    out.text(list.listGuid);
    out.word(static_cast<std::uint32_t>(list.snapshotWord));
    out.word(static_cast<std::uint32_t>(list.entries.size()));
    for (const auto& e : list.entries) {
        for (const std::wstring* field :
             {&e.url, &e.path, &e.dstNames, &e.version, &e.notes, &e.shortcut, &e.shortcutIcon, &e.iconIndex})
            out.text(*field);
        out.word(static_cast<std::uint32_t>(e.actions));
    }
    return out.take();
}

bool readSnapshot(std::string_view bytes, DownLoadList& list, std::size_t* used)
{
    Reader in(bytes);
    SnapshotFields f;
    if (!readFields(in, f))
        return false;
    list.valueMap = std::move(f.valueMap);
    list.runCommands = std::move(f.runCommands);
    list.description = std::move(f.description);
    list.listUrlBase = std::move(f.listUrlBase);
    list.fileUrlTemplate = std::move(f.fileUrlTemplate);
    list.downloadDir = std::move(f.downloadDir);
    list.listGuid = std::move(f.listGuid);
    list.snapshotWord = f.snapshotWord;
    {
        NamedLockGuard guard(locks::kAddListEntry);
        list.entries = std::move(f.entries);
    }
    if (used)
        *used = in.position();
    return true;
}

} // namespace rk
