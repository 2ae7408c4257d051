// Lays out and encodes a small ISO9660 volume: system area, descriptors, one
// root directory of whole sectors, and each file's contents on its own blocks.
#include "tests/iso/iso_builder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t SECTOR = 2048;

uint32_t blocks_for(uint64_t bytes)
{
    return static_cast<uint32_t>((bytes + SECTOR - 1) / SECTOR);
}

uint32_t record_length(size_t name_length, unsigned system_use)
{
    // The name is padded to an even record length before the system use area.
    return static_cast<uint32_t>(33 + name_length + (name_length % 2 == 0 ? 1 : 0) + system_use);
}

void write_record(std::vector<unsigned char>& bytes, uint64_t at, const std::string& name, uint32_t lba,
                  uint32_t length, unsigned char flags, unsigned char ext_attr_blocks, unsigned system_use)
{
    uint32_t size = record_length(name.size(), system_use);
    if (size > 255) {
        fprintf(stderr, "iso_builder: record for \"%s\" would take %u bytes\n", name.c_str(), size);
        abort();
    }
    bytes[at] = static_cast<unsigned char>(size);
    bytes[at + 1] = ext_attr_blocks;
    put_both32(bytes, at + ISO_REC_LBA, lba);
    put_both32(bytes, at + ISO_REC_DATA_LENGTH, length);
    const unsigned char date[7] = {124, 1, 1, 12, 0, 0, 0};  // 2024-01-01 12:00 GMT
    memcpy(&bytes[at + 18], date, sizeof date);
    bytes[at + ISO_REC_FLAGS] = flags;
    put_both16(bytes, at + 28, 1);  // volume sequence number
    bytes[at + ISO_REC_NAME_LENGTH] = static_cast<unsigned char>(name.size());
    memcpy(&bytes[at + 33], name.data(), name.size());
    for (unsigned i = 0; i < system_use; ++i)
        bytes[at + size - system_use + i] = static_cast<unsigned char>('S' + i % 7);
}

void write_text(std::vector<unsigned char>& bytes, uint64_t at, size_t width, const char* text)
{
    memset(&bytes[at], ' ', width);
    memcpy(&bytes[at], text, strlen(text));
}

void write_descriptor(std::vector<unsigned char>& bytes, uint64_t at, unsigned char type)
{
    bytes[at] = type;
    memcpy(&bytes[at + 1], "CD001", 5);
    bytes[at + ISO_PVD_VERSION] = 1;
}

void write_primary(std::vector<unsigned char>& bytes, uint64_t at, uint32_t volume_blocks, uint32_t root_lba,
                   uint32_t root_size)
{
    write_descriptor(bytes, at, 1);
    write_text(bytes, at + 8, 32, "SPANFETCH TEST");
    write_text(bytes, at + 40, 32, "KORVADIS");
    put_both32(bytes, at + 80, volume_blocks);
    put_both16(bytes, at + 120, 1);  // volume set size
    put_both16(bytes, at + 124, 1);  // volume sequence number
    put_both16(bytes, at + ISO_PVD_BLOCK_SIZE, SECTOR);
    write_record(bytes, at + ISO_PVD_ROOT_RECORD, std::string(1, '\0'), root_lba, root_size, ISO_FLAG_DIRECTORY, 0,
                 0);
    bytes[at + 881] = 1;  // file structure version
}

}  // namespace

void put_both16(std::vector<unsigned char>& bytes, uint64_t at, uint16_t value)
{
    bytes[at] = static_cast<unsigned char>(value);
    bytes[at + 1] = static_cast<unsigned char>(value >> 8);
    bytes[at + 2] = static_cast<unsigned char>(value >> 8);
    bytes[at + 3] = static_cast<unsigned char>(value);
}

void put_both32(std::vector<unsigned char>& bytes, uint64_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
        bytes[at + 7 - i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

IsoRecordLayout placed_record(const std::string& name, uint32_t lba, uint32_t length, unsigned char flags)
{
    IsoRecordLayout record;
    record.name = name;
    record.extent_given = true;
    record.lba = lba;
    record.length = length;
    record.flags = flags;
    return record;
}

IsoImage build_iso(const IsoLayout& layout)
{
    IsoImage image;
    std::vector<unsigned char> descriptors = layout.descriptors;
    if (descriptors.empty())
        descriptors = {1, 255};
    const uint32_t root_lba = layout.session_block + 16 + static_cast<uint32_t>(descriptors.size());

    // Record places inside the root directory: none crosses a sector boundary.
    std::vector<uint32_t> places;
    uint32_t at = 2 * record_length(1, 0);  // "." and ".."
    for (const IsoRecordLayout& record : layout.records) {
        uint32_t size = record_length(record.name.size(), record.system_use);
        if ((record.new_sector && at % SECTOR != 0) || at % SECTOR + size > SECTOR)
            at = (at / SECTOR + 1) * SECTOR;
        places.push_back(at);
        at += size;
    }
    uint32_t root_sectors = blocks_for(at) > layout.root_sectors ? blocks_for(at) : layout.root_sectors;
    image.root_size = root_sectors * SECTOR;
    image.root = uint64_t{root_lba} * SECTOR;

    // Contents on blocks of their own after the root directory.
    uint32_t next_block = root_lba + root_sectors;
    std::vector<uint32_t> lbas;
    for (const IsoRecordLayout& record : layout.records) {
        if (record.extent_given) {
            lbas.push_back(record.lba);
            image.contents_at.push_back(uint64_t{record.lba + record.ext_attr_blocks} * SECTOR);
            continue;
        }
        lbas.push_back(next_block);
        image.contents_at.push_back(uint64_t{next_block + record.ext_attr_blocks} * SECTOR);
        next_block += record.ext_attr_blocks + blocks_for(record.contents.size());
    }

    image.bytes.assign(uint64_t{next_block} * SECTOR, 0);
    std::vector<unsigned char>& bytes = image.bytes;
    for (size_t i = 0; i < descriptors.size(); ++i) {
        uint64_t place = uint64_t{layout.session_block + 16 + static_cast<uint32_t>(i)} * SECTOR;
        if (descriptors[i] == 1) {
            if (image.pvd == 0)
                image.pvd = place;
            write_primary(bytes, place, next_block, root_lba, image.root_size);
        } else {
            write_descriptor(bytes, place, descriptors[i]);
        }
    }

    write_record(bytes, image.root, std::string(1, '\0'), root_lba, image.root_size, ISO_FLAG_DIRECTORY, 0, 0);
    write_record(bytes, image.root + record_length(1, 0), std::string(1, '\1'), root_lba, image.root_size,
                 ISO_FLAG_DIRECTORY, 0, 0);
    for (size_t i = 0; i < layout.records.size(); ++i) {
        const IsoRecordLayout& record = layout.records[i];
        uint32_t length = record.extent_given ? record.length : static_cast<uint32_t>(record.contents.size());
        image.record_at.push_back(image.root + places[i]);
        write_record(bytes, image.record_at[i], record.name, lbas[i], length, record.flags, record.ext_attr_blocks,
                     record.system_use);
        if (!record.extent_given && !record.contents.empty())
            memcpy(&bytes[image.contents_at[i]], record.contents.data(), record.contents.size());
    }
    return image;
}
