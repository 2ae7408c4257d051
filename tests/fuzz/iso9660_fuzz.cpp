// libFuzzer target for the ISO9660 reader: the input is the image. Each name is
// looked up on the medium as it is, on a device that reports more sectors
// than it delivers, and in a session the input's first bytes choose; the
// reader is held to its promises on every call.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/iso9660.h"

namespace {

struct Image {
    const uint8_t* data;
    size_t size;
    uint64_t medium_size;
};

// Serves sectors from the input; past its end the read fails. A request
// outside the medium, unaligned, or into a misaligned buffer is a fault.
bool read_image(void* context, uint64_t offset, unsigned char* sector)
{
    const Image& image = *static_cast<const Image*>(context);
    if (offset % ISO_SECTOR_SIZE != 0 || reinterpret_cast<uintptr_t>(sector) % 4096 != 0 ||
        offset > image.medium_size || image.medium_size - offset < ISO_SECTOR_SIZE)
        abort();
    if (offset > image.size || image.size - offset < ISO_SECTOR_SIZE)
        return false;
    memcpy(sector, image.data + offset, ISO_SECTOR_SIZE);
    return true;
}

void check_lookup(Image& image, uint64_t session, const char* name)
{
    IsoFile file;
    IsoLookup result = iso_find_in_root(read_image, &image, image.medium_size, session, name, file);
    if (result != ISO_FOUND && result != ISO_ABSENT && result != ISO_NOT_A_VOLUME && result != ISO_DAMAGED)
        abort();
    if (iso_is_volume(read_image, &image, image.medium_size, session) != (result != ISO_NOT_A_VOLUME))
        abort();
    if (result != ISO_FOUND)
        return;
    if (file.extent_count == 0 || file.extent_count > ISO_MAX_EXTENTS)
        abort();
    uint64_t total = 0;
    for (uint32_t i = 0; i < file.extent_count; ++i) {
        const IsoExtent& extent = file.extents[i];
        if (extent.offset % ISO_SECTOR_SIZE != 0 || extent.offset >> 44 != 0 || extent.length >> 32 != 0)
            abort();
        total += extent.length;
    }
    if (total != file.size)
        abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const char* const names[] = {"KORVADIS.IMG", "korvadis.001", "FOO.", "BIG"};
    uint64_t chosen_session = 0;
    if (size >= sizeof chosen_session)
        memcpy(&chosen_session, data, sizeof chosen_session);

    Image image{data, size, size};
    for (const char* name : names)
        check_lookup(image, 0, name);
    check_lookup(image, chosen_session, names[0]);

    image.medium_size = uint64_t{size} + 64 * ISO_SECTOR_SIZE;
    check_lookup(image, 0, names[1]);
    return 0;
}
