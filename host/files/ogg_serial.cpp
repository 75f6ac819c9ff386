#include "ogg_serial.h"

#include <array>
#include <cstring>
#include <fstream>
#include <vector>

namespace plughost {

namespace {

constexpr std::size_t kHeaderBytes = 27;
constexpr std::size_t kSerialOffset = 14;
constexpr std::size_t kChecksumOffset = 22;
constexpr std::size_t kSegmentCountOffset = 26;

// The page checksum: CRC-32 with polynomial 0x04C11DB7, not reflected, starting from 0.
std::uint32_t pageChecksum(const std::vector<unsigned char>& page)
{
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> entries{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t value = i << 24;
            for (int bit = 0; bit < 8; ++bit)
                value = (value & 0x80000000u) ? (value << 1) ^ 0x04C11DB7u : value << 1;
            entries[i] = value;
        }
        return entries;
    }();
    std::uint32_t crc = 0;
    for (const unsigned char byte : page)
        crc = (crc << 8) ^ table[((crc >> 24) ^ byte) & 0xFF];
    return crc;
}

void putLittleEndian(std::vector<unsigned char>& bytes, std::size_t offset, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[offset + static_cast<std::size_t>(i)] = static_cast<unsigned char>(value >> (8 * i));
}

} // namespace

bool setOggSerial(const std::string& path, std::uint32_t serial)
{
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    if (!file)
        return false;
    std::vector<unsigned char> page;
    for (std::streamoff start = 0;;) {
        page.assign(kHeaderBytes, 0);
        file.seekg(start);
        if (!file.read(reinterpret_cast<char*>(page.data()), kHeaderBytes))
            return file.gcount() == 0 && start > 0; // the end, after at least one page
        if (std::memcmp(page.data(), "OggS", 4) != 0)
            return false;
        const std::size_t segments = page[kSegmentCountOffset];
        page.resize(kHeaderBytes + segments);
        if (!file.read(reinterpret_cast<char*>(page.data() + kHeaderBytes), static_cast<std::streamsize>(segments)))
            return false;
        std::size_t body = 0;
        for (std::size_t i = 0; i < segments; ++i)
            body += page[kHeaderBytes + i];
        const std::size_t headerSize = page.size();
        page.resize(headerSize + body);
        if (!file.read(reinterpret_cast<char*>(page.data() + headerSize), static_cast<std::streamsize>(body)))
            return false;
        putLittleEndian(page, kSerialOffset, serial);
        putLittleEndian(page, kChecksumOffset, 0);
        putLittleEndian(page, kChecksumOffset, pageChecksum(page));
        file.seekp(start);
        if (!file.write(reinterpret_cast<const char*>(page.data()), static_cast<std::streamsize>(page.size())))
            return false;
        start += static_cast<std::streamoff>(page.size());
    }
}

} // namespace plughost
