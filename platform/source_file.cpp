// Source parts wherever they lie: a file of their own in the source
// directory, or a file in the root directory of an ISO9660 volume, which is
// the source itself (an image file or a disc device), the disc device mounted
// at the source directory, or one of the images in the source directory.
// Platform-neutral: every file is reached through disc_file.h.
#include "platform/source_file.h"

#include <cstring>

#include "platform/disc_file.h"
#include "platform/iso9660.h"
#include "platform/path_rules.h"

struct SourceFile {
    DiscFile* disc;     // the part's own file, or the image holding it; nullptr while the slot is free
    bool in_image;
    IsoFile part;       // where the part lies in the image, when in_image
    uint64_t position;  // of the next read, from the start of the part
};

namespace {

// Only one part is open at a time; two slots leave room to spare without allocating.
SourceFile slots[2];

// Images tried in a source directory: the first MAX_IMAGES in byte order of
// their names, which are kept only up to IMAGE_NAME_CAPACITY - 1 bytes.
constexpr uint32_t MAX_IMAGES = 256;
constexpr uint32_t IMAGE_NAME_CAPACITY = 256;
char image_names[MAX_IMAGES][IMAGE_NAME_CAPACITY];
uint32_t image_order[MAX_IMAGES];  // rows of image_names, in byte order of the names
uint32_t image_count;

// The directory or image the part is looked for in, with its separator.
char container[PATH_BUFFER_SIZE];
// The file opened for the part: the part under another spelling, or an image.
char found_path[PATH_BUFFER_SIZE];
// The part's extents while an existence test looks into an image.
IsoFile probed_part;

// Whole sectors for reads that do not start on a sector of the image or the
// caller's buffer.
alignas(4096) unsigned char bounce[DISC_SECTOR_SIZE];

char upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool same_ignoring_case(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b)
        if (upper(*a) != upper(*b))
            return false;
    return *a == *b;
}

bool is_image_name(const char* name, size_t length)
{
    return length >= 4 && same_ignoring_case(name + length - 4, ".ISO");
}

// Writes container followed by name into found_path; false when it does not fit.
bool compose_found_path(size_t container_length, const char* name)
{
    size_t name_length = strlen(name);
    if (container_length + name_length >= sizeof found_path)
        return false;
    memcpy(found_path, container, container_length);
    memcpy(found_path + container_length, name, name_length + 1);
    return true;
}

bool read_sector(void* context, uint64_t offset, unsigned char* sector)
{
    return disc_read_at(static_cast<DiscFile*>(context), offset, sector, ISO_SECTOR_SIZE) == ISO_SECTOR_SIZE;
}

// Opens the image at path and looks name up in its root directory. Returns
// the open image when it holds the part (its extents in part), else nullptr.
// Every call reads the image afresh: a disc may have been changed meanwhile.
DiscFile* open_image_holding(const char* path, const char* name, IsoFile& part)
{
    DiscFile* image = disc_open(path);
    if (image == nullptr)
        return nullptr;
    if (iso_find_in_root(read_sector, image, disc_size(image), disc_session_offset(image), name, part) == ISO_FOUND)
        return image;
    disc_close(image);
    return nullptr;
}

// Finds an entry of the container directory whose name differs from name
// only in letter case (a plain ISO9660 disc mounted on Linux shows its names
// in lower case) and leaves its path in found_path.
bool find_in_other_case(size_t container_length, const char* name)
{
    DiscDirectory* directory = disc_directory_open(container);
    if (directory == nullptr)
        return false;
    bool found = false;
    while (const char* entry = disc_directory_next(directory))
        if (same_ignoring_case(entry, name)) {
            found = compose_found_path(container_length, entry);
            break;
        }
    disc_directory_close(directory);
    return found;
}

// Position in image_order where name belongs, or MAX_IMAGES when the list is
// full and name sorts after all of it.
uint32_t image_rank(const char* name)
{
    uint32_t low = 0;
    uint32_t high = image_count;
    while (low < high) {
        uint32_t middle = (low + high) / 2;
        if (strcmp(image_names[image_order[middle]], name) < 0)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

// Lists the regular files of the container directory whose names end in
// ".iso" in any letter case, keeping the first MAX_IMAGES in byte order of
// their names in fixed memory.
void collect_images(size_t container_length)
{
    image_count = 0;
    DiscDirectory* directory = disc_directory_open(container);
    if (directory == nullptr)
        return;
    while (const char* name = disc_directory_next(directory)) {
        size_t length = strlen(name);
        if (!is_image_name(name, length) || length >= IMAGE_NAME_CAPACITY)
            continue;
        uint32_t rank = image_rank(name);
        if (rank == MAX_IMAGES)
            continue;
        if (!compose_found_path(container_length, name) || disc_path_kind(found_path) != PATH_FILE)
            continue;
        // A full list gives up its last name's row to the new one.
        uint32_t row = image_count < MAX_IMAGES ? image_count++ : image_order[MAX_IMAGES - 1];
        memmove(image_order + rank + 1, image_order + rank, (image_count - 1 - rank) * sizeof image_order[0]);
        image_order[rank] = row;
        memcpy(image_names[row], name, length + 1);
    }
    disc_directory_close(directory);
}

// The first image of the container directory, in byte order of the names,
// whose root directory holds name; nullptr when none does.
DiscFile* find_in_images(size_t container_length, const char* name, IsoFile& part)
{
    collect_images(container_length);
    for (uint32_t i = 0; i < image_count; ++i) {
        if (!compose_found_path(container_length, image_names[image_order[i]]))
            continue;
        if (DiscFile* image = open_image_holding(found_path, name, part))
            return image;
    }
    return nullptr;
}

enum Place {
    PLACE_NONE,
    PLACE_FILE,       // a file of its own
    PLACE_IMAGE,      // in a volume, open
    PLACE_UNOPENED,   // on a disc device that holds a disc but cannot be opened
    PLACE_NO_VOLUME,  // on a disc device that holds no ISO9660 volume
};

// Finds the part called name on the disc device: its volume is read afresh,
// from its last session. The drive is asked first, without opening it for
// reading (which would wait for a disc or lock the door), so a drive without
// a disc or with its tray open is never opened.
Place locate_on_device(const char* device, const char* name, DiscFile** image, IsoFile& part)
{
    if (!disc_medium_present(device))
        return PLACE_NONE;
    DiscFile* disc = disc_open(device);
    if (disc == nullptr)
        return PLACE_UNOPENED;
    IsoLookup lookup = iso_find_in_root(read_sector, disc, disc_size(disc), disc_session_offset(disc), name, part);
    if (lookup == ISO_FOUND) {
        *image = disc;
        return PLACE_IMAGE;
    }
    disc_close(disc);
    return lookup == ISO_NOT_A_VOLUME ? PLACE_NO_VOLUME : PLACE_NONE;
}

// Splits path into its directory, left in container with its separator, and
// the name after it; nullptr when there is no name.
const char* split_container(const char* path)
{
    const char* separator = strrchr(path, PATH_SEPARATOR);
    if (separator == nullptr || separator[1] == '\0')
        return nullptr;
    const char* name = separator + 1;
    size_t container_length = static_cast<size_t>(name - path);
    memcpy(container, path, container_length);
    container[container_length] = '\0';
    return name;
}

// Finds the part path names: as a file of that name (PLACE_FILE, the name to
// open in *file_name), or in a volume (PLACE_IMAGE, the image or device open
// in *image and the part's extents in part). Where its directory is (or was,
// at the start of the run) the mount point of a disc device, the part is
// looked for on the device, wherever its disc is mounted now. Where the
// device holds no ISO9660 volume or cannot be opened, and in any other
// directory, by its exact name, then (where names tell case apart) in any
// letter case, then in the images of the directory.
// When its directory is an image file or a device, in that volume alone.
Place locate(const char* path, const char** file_name, DiscFile** image, IsoFile& part)
{
    // The mount point need not exist any more: once the disc is taken out,
    // the desktop removes it, and the next disc is mounted elsewhere.
    const char* name = split_container(path);
    if (name != nullptr) {
        if (const char* device = disc_mounted_device(container)) {
            Place place = locate_on_device(device, name, image, part);
            if (place == PLACE_NONE || place == PLACE_IMAGE)
                return place;
        }
    }

    if (disc_path_kind(path) != PATH_MISSING) {
        *file_name = path;
        return PLACE_FILE;
    }
    if (name == nullptr)
        return PLACE_NONE;
    size_t container_length = static_cast<size_t>(name - path);

    // With its separator the container is tested as a directory (so "E:\"
    // is the root of drive E:, not its current directory); without, as a file.
    if (disc_path_kind(container) == PATH_DIRECTORY) {
        if (!NAMES_IGNORE_CASE && find_in_other_case(container_length, name)) {
            *file_name = found_path;
            return PLACE_FILE;
        }
        *image = find_in_images(container_length, name, part);
        return *image ? PLACE_IMAGE : PLACE_NONE;
    }
    size_t length = container_length;
    while (length > 0 && container[length - 1] == PATH_SEPARATOR)
        --length;
    container[length] = '\0';
    PathKind kind = length > 0 ? disc_path_kind(container) : PATH_MISSING;
    if (kind == PATH_DEVICE) {
        // A device that holds a disc but cannot be opened (no permission)
        // counts as present, so opening the part reports it at once.
        Place place = locate_on_device(container, name, image, part);
        return place == PLACE_NO_VOLUME ? PLACE_NONE : place;
    }
    if (kind != PATH_FILE)
        return PLACE_NONE;
    *image = open_image_holding(container, name, part);
    return *image ? PLACE_IMAGE : PLACE_NONE;
}

// Reads from the extent of the image at byte `within` of it, up to the end
// of that sector of the extent, through the bounce buffer: for a read that
// does not start on a sector of the image or of the caller's buffer.
// `wanted` is cut to what this sector holds. Returns the count delivered.
uint32_t read_through_bounce(DiscFile* image, const IsoExtent& extent, uint64_t within, unsigned char* to,
                             uint32_t& wanted)
{
    uint32_t skip = static_cast<uint32_t>(within % DISC_SECTOR_SIZE);
    uint64_t sector_start = within - skip;
    if (wanted > DISC_SECTOR_SIZE - skip)
        wanted = DISC_SECTOR_SIZE - skip;
    uint64_t in_sector = extent.length - sector_start;
    uint32_t count = in_sector < DISC_SECTOR_SIZE ? static_cast<uint32_t>(in_sector) : DISC_SECTOR_SIZE;
    uint32_t got = disc_read_at(image, extent.offset + sector_start, bounce, count);
    uint32_t usable = got > skip ? got - skip : 0;
    if (usable > wanted)
        usable = wanted;
    memcpy(to, bounce + skip, usable);
    return usable;
}

// Reads the part from its extents, one after the other. Each read stays
// inside an extent's sectors, so nothing after the part is ever read.
uint32_t read_from_image(SourceFile* file, unsigned char* buffer, uint32_t count)
{
    const IsoFile& part = file->part;
    uint32_t delivered = 0;
    uint32_t index = 0;
    uint64_t extent_start = 0;  // part position of extent `index`
    while (delivered < count) {
        uint64_t at = file->position + delivered;
        while (index < part.extent_count && at - extent_start >= part.extents[index].length) {
            extent_start += part.extents[index].length;
            ++index;
        }
        if (index == part.extent_count)
            break;
        const IsoExtent& extent = part.extents[index];
        uint64_t within = at - extent_start;
        uint64_t left = extent.length - within;
        uint32_t wanted = count - delivered;
        if (wanted > left)
            wanted = static_cast<uint32_t>(left);
        uint32_t got;
        if (delivered % DISC_SECTOR_SIZE == 0 && within % DISC_SECTOR_SIZE == 0) {
            // Rounded up to whole sectors this ends inside both the extent's
            // last sector and the caller's buffer (room for count rounded up).
            got = disc_read_at(file->disc, extent.offset + within, buffer + delivered, wanted);
        } else {
            got = read_through_bounce(file->disc, extent, within, buffer + delivered, wanted);
        }
        delivered += got;
        if (got < wanted)
            break;
    }
    return delivered;
}

} // namespace

bool source_exists(const char* path)
{
    const char* file_name = nullptr;
    DiscFile* image = nullptr;
    Place place = locate(path, &file_name, &image, probed_part);
    if (place == PLACE_IMAGE)
        disc_close(image);
    return place == PLACE_FILE || place == PLACE_IMAGE || place == PLACE_UNOPENED;
}

SourceFile* source_open(const char* path)
{
    SourceFile* file = nullptr;
    for (SourceFile& slot : slots)
        if (slot.disc == nullptr) {
            file = &slot;
            break;
        }
    if (file == nullptr)
        return nullptr;

    const char* file_name = nullptr;
    DiscFile* image = nullptr;
    switch (locate(path, &file_name, &image, file->part)) {
    case PLACE_FILE:
        file->disc = disc_open(file_name);
        file->in_image = false;
        break;
    case PLACE_IMAGE:
        file->disc = image;
        file->in_image = true;
        break;
    case PLACE_NONE:
    case PLACE_UNOPENED:
    case PLACE_NO_VOLUME:
        break;
    }
    file->position = 0;
    return file->disc ? file : nullptr;
}

uint64_t source_size(SourceFile* file)
{
    return file->in_image ? file->part.size : disc_size(file->disc);
}

void source_seek(SourceFile* file, uint64_t offset)
{
    file->position = offset;
}

uint32_t source_read(SourceFile* file, void* buffer, uint32_t count)
{
    unsigned char* bytes = static_cast<unsigned char*>(buffer);
    uint32_t delivered = file->in_image ? read_from_image(file, bytes, count)
                                        : disc_read_at(file->disc, file->position, bytes, count);
    file->position += delivered;
    return delivered;
}

void source_close(SourceFile* file)
{
    disc_close(file->disc);
    file->disc = nullptr;
}

bool dest_is_source(const char* path, SourceFile* source)
{
    // For a part in an image this is the image file: creating a destination
    // under its name would truncate the parts still to be read from it.
    return disc_same_file(path, source->disc);
}
