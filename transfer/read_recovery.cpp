// Sector-by-sector recovery of a short chunk read.
#include "transfer/read_recovery.h"

#include "platform/source_file.h"
#include "transfer/image_header.h"

uint32_t read_chunk_recover(SourceFile* source, unsigned char* buffer, uint32_t chunk_len, uint64_t part_offset)
{
    uint32_t bytes_read = 0;
    for (uint32_t sector_offset = 0; sector_offset < chunk_len; sector_offset += SECTOR_SIZE) {
        // Every read asks for a whole sector, so a part's trailing partial
        // sector is never counted as good.
        int attempts = 0;
        for (;;) {
            source_seek(source, part_offset + sector_offset);
            if (source_read(source, buffer + sector_offset, SECTOR_SIZE) == SECTOR_SIZE)
                break;
            if (attempts++ == MAX_SECTOR_RETRIES)
                return bytes_read;
        }
        bytes_read += SECTOR_SIZE;
    }
    return bytes_read;
}
