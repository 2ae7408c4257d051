// Copying the parts chunk by chunk, cutting the image at its end marker.
#include "transfer/copy_engine.h"

#include <cstdio>
#include <cstring>

#include "platform/dest_file.h"
#include "platform/path_rules.h"
#include "platform/source_file.h"
#include "transfer/disc_wait.h"
#include "transfer/read_recovery.h"
#include "transfer/run_state.h"

namespace {

constexpr size_t SUFFIX_LENGTH = 4;

// Scans the delivered sectors of a chunk for the end marker. On a match the
// marker's header replaces header and the chunk is cut before it; the scan
// goes on, so the last matching sector decides. A sector is tested only when
// its whole header was delivered: the header is what part 0 receives, and
// bytes past a short read are whatever the buffer held before.
bool find_end_marker(const unsigned char* chunk, uint32_t bytes_read, ImageHeader& header, uint32_t& chunk_len)
{
    bool found = false;
    for (uint32_t off = 0; off < bytes_read && off < CHUNK_SIZE; off += SECTOR_SIZE) {
        if (bytes_read - off < HEADER_SIZE)
            break;
        if (is_end_marker(chunk + off, header)) {
            memcpy(header.bytes, chunk + off, HEADER_SIZE);
            chunk_len = off;
            found = true;
        }
    }
    return found;
}

} // namespace

bool part_suffix(char* path, uint32_t part_index)
{
    if (part_index > LAST_PART_INDEX)
        return false;
    char suffix[SUFFIX_LENGTH + 1];
    if (part_index == 0)
        memcpy(suffix, ".IMG", sizeof suffix);
    else
        snprintf(suffix, sizeof suffix, ".%03u", static_cast<unsigned>(part_index));
    memcpy(path + strlen(path) - SUFFIX_LENGTH, suffix, SUFFIX_LENGTH);
    return true;
}

SourceFile* open_source_part()
{
    printf("\n");
    if (!wait_for_part())
        return nullptr;
    return source_open(source_path);
}

int copy_parts(SourceFile* source, ImageHeader& header)
{
    int status = STATUS_OK;
    bool end_found = false;
    bool first_chunk = true;
    uint32_t part_index = 0;

    // The extension destination part 0 was created with, as typed.
    char dest_extension[SUFFIX_LENGTH + 1];
    memcpy(dest_extension, dest_path + strlen(dest_path) - SUFFIX_LENGTH, sizeof dest_extension);

    for (;;) {
        printf("\nCopying file %s to %s...", source_path, dest_path);

        // Creating a destination that is the source being read would truncate it.
        int dest = dest_is_source(dest_path, source) ? NO_DEST : dest_create(dest_path);
        if (dest == NO_DEST) {
            source_close(source);
            return STATUS_DEST_OPEN;
        }

        uint64_t part_remaining = source_size(source);
        uint64_t part_offset = 0;
        while (part_remaining != 0) {
            uint32_t chunk_len = part_remaining < CHUNK_SIZE ? static_cast<uint32_t>(part_remaining) : CHUNK_SIZE;
            uint32_t bytes_read = source_read(source, transfer_buffer, chunk_len);
            if (bytes_read != chunk_len) {
                // Stands unless the recovered sectors hold the end marker: then
                // the image ends before the bad ones and the short read is no loss.
                status = STATUS_SOURCE_READ;
                bytes_read = read_chunk_recover(source, transfer_buffer, chunk_len, part_offset);
            }

            // The very first chunk begins with the header itself, which would match.
            if (!first_chunk && find_end_marker(transfer_buffer, bytes_read, header, chunk_len)) {
                end_found = true;
                status = STATUS_OK;
            }
            if (status != STATUS_OK)
                break;

            if (dest_write(dest, transfer_buffer, chunk_len) != chunk_len) {
                status = STATUS_DEST_WRITE;
                break;
            }
            part_offset += bytes_read;
            part_remaining -= chunk_len;
            first_chunk = false;
            if (end_found)
                break;
        }

        source_close(source);
        // A part whose data did not reach the disk is a failed write, even
        // when the file system tells so only now.
        if (!dest_close(dest) && status == STATUS_OK)
            status = STATUS_DEST_WRITE;

        if (status != STATUS_OK)
            return status;
        if (end_found) {
            part_suffix(source_path, 0);
            name_dest_part0(dest_path, dest_extension);
            if (!dest_sync_directory(dest_path))
                return STATUS_DEST_WRITE;
            return finalise_image(dest_path, header);
        }

        ++part_index;
        if (!part_suffix(source_path, part_index))
            return STATUS_SOURCE_OPEN;
        part_suffix(dest_path, part_index);
        source = open_source_part();
        if (source == nullptr)
            return STATUS_SOURCE_OPEN;
    }
}
