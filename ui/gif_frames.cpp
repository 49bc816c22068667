#include "ui/gif_frames.h"

#include <cstring>

namespace rk {
namespace {

constexpr std::uint8_t kExtension = 0x21;
constexpr std::uint8_t kImage = 0x2C;
constexpr std::uint8_t kTrailer = 0x3B;
constexpr std::uint8_t kGraphicControl = 0xF9;
constexpr std::uint8_t kPlainText = 0x01;

// A cursor that never reads past the end: every read reports whether it fitted.
class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    std::size_t position() const { return m_pos; }
    bool byte(std::uint8_t& out)
    {
        if (m_pos >= m_size)
            return false;
        out = m_data[m_pos++];
        return true;
    }
    bool word(int& out)
    {
        if (m_size - m_pos < 2)
            return false;
        out = m_data[m_pos] | (m_data[m_pos + 1] << 8);
        m_pos += 2;
        return true;
    }
    bool take(std::size_t count, const std::uint8_t*& out)
    {
        if (m_size - m_pos < count)
            return false;
        out = m_data + m_pos;
        m_pos += count;
        return true;
    }
    // Data sub-blocks up to and including the zero-length terminator.
    bool subBlocks(const std::uint8_t*& start, std::size_t& length)
    {
        start = m_data + m_pos;
        for (;;) {
            std::uint8_t count = 0;
            const std::uint8_t* skipped = nullptr;
            if (!byte(count))
                return false;
            if (count == 0)
                break;
            if (!take(count, skipped))
                return false;
        }
        length = static_cast<std::size_t>(m_data + m_pos - start);
        return true;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

std::size_t colourTableBytes(std::uint8_t packed) { return (packed & 0x80) ? 3u * (2u << (packed & 0x07)) : 0u; }

void putWord(std::vector<std::uint8_t>& out, int value)
{
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

void append(std::vector<std::uint8_t>& out, const std::uint8_t* data, std::size_t size)
{
    out.insert(out.end(), data, data + size);
}

struct Control {
    bool present = false;
    std::uint8_t packed = 0;
    int delay = 0;
    std::uint8_t transparentIndex = 0;
};

} // namespace

bool hasGifSignature(const std::uint8_t* data, std::size_t size)
{
    return data && size >= 6 && (std::memcmp(data, "GIF87a", 6) == 0 || std::memcmp(data, "GIF89a", 6) == 0);
}

int frameDelayMs(int delay) { return delay <= 4 ? 100 : delay * 10; }

bool splitGif(const std::uint8_t* data, std::size_t size, GifImage& out)
{
    out = GifImage{};
    if (!hasGifSignature(data, size))
        return false;
    Reader in(data, size);
    const std::uint8_t* skipped = nullptr;
    in.take(6, skipped);

    std::uint8_t screenPacked = 0;
    std::uint8_t background = 0;
    std::uint8_t aspect = 0;
    if (!in.word(out.screenWidth) || !in.word(out.screenHeight) || !in.byte(screenPacked) || !in.byte(background) ||
        !in.byte(aspect)) {
        out.damaged = true;
        return false;
    }
    out.backgroundIndex = background;
    const std::uint8_t* globalTable = nullptr;
    const std::size_t globalBytes = colourTableBytes(screenPacked);
    if (!in.take(globalBytes, globalTable)) {
        out.damaged = true;
        return false;
    }
    out.globalColours.assign(globalTable, globalTable + globalBytes);

    Control control;
    for (;;) {
        std::uint8_t block = 0;
        if (!in.byte(block)) {
            out.damaged = true;
            break;
        }
        if (block == kTrailer)
            break;
        if (block == kExtension) {
            std::uint8_t label = 0;
            const std::uint8_t* body = nullptr;
            std::size_t length = 0;
            if (!in.byte(label) || !in.subBlocks(body, length)) {
                out.damaged = true;
                break;
            }
            // The graphic control body is one sub-block of 4: packed, delay, index.
            if (label == kGraphicControl && length >= 6 && body[0] >= 4) {
                control.present = true;
                control.packed = body[1];
                control.delay = body[2] | (body[3] << 8);
                control.transparentIndex = body[4];
            } else if (label == kPlainText) {
                control = Control{}; // a text block uses up the control extension before it
            }
            continue;
        }
        if (block != kImage) {
            out.damaged = true;
            break;
        }

        GifFrame frame;
        std::uint8_t imagePacked = 0;
        std::uint8_t codeSize = 0;
        const std::uint8_t* localTable = nullptr;
        const std::uint8_t* pixels = nullptr;
        std::size_t pixelBytes = 0;
        if (!in.word(frame.left) || !in.word(frame.top) || !in.word(frame.width) || !in.word(frame.height) ||
            !in.byte(imagePacked) || !in.take(colourTableBytes(imagePacked), localTable) || !in.byte(codeSize) ||
            !in.subBlocks(pixels, pixelBytes)) {
            out.damaged = true;
            break;
        }
        // LZW codes grow to 12 bits at most, so a start above 11 bits is no image.
        if (codeSize < 1 || codeSize > 11 || frame.width == 0 || frame.height == 0) {
            out.damaged = true;
            break;
        }
        frame.localColourTable = (imagePacked & 0x80) != 0;
        frame.interlaced = (imagePacked & 0x40) != 0;
        if (control.present) {
            frame.delay = control.delay;
            frame.disposal = (control.packed >> 2) & 0x07;
            frame.transparent = (control.packed & 0x01) != 0;
            frame.transparentIndex = control.transparentIndex;
        }

        std::vector<std::uint8_t>& s = frame.stream;
        const char header[] = "GIF89a";
        append(s, reinterpret_cast<const std::uint8_t*>(header), 6);
        putWord(s, frame.width);
        putWord(s, frame.height);
        s.push_back(screenPacked);
        s.push_back(background);
        s.push_back(0);
        append(s, globalTable, globalBytes);
        if (control.present) {
            const std::uint8_t gce[] = {kExtension,
                                        kGraphicControl,
                                        4,
                                        control.packed,
                                        static_cast<std::uint8_t>(control.delay & 0xFF),
                                        static_cast<std::uint8_t>(control.delay >> 8),
                                        control.transparentIndex,
                                        0};
            append(s, gce, sizeof gce);
        }
        s.push_back(kImage);
        putWord(s, 0);
        putWord(s, 0);
        putWord(s, frame.width);
        putWord(s, frame.height);
        s.push_back(imagePacked);
        append(s, localTable, colourTableBytes(imagePacked));
        s.push_back(codeSize);
        append(s, pixels, pixelBytes);
        s.push_back(kTrailer);

        out.frames.push_back(std::move(frame));
        control = Control{};
    }
    return !out.frames.empty();
}

} // namespace rk
