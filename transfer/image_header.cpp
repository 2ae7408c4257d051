// Header read, signature test, end-marker test and final header rewrite.
#include "transfer/image_header.h"

#include <cstring>

#include "platform/dest_file.h"
#include "platform/source_file.h"
#include "transfer/run_state.h"

int read_header(SourceFile* source, unsigned char* buffer, ImageHeader& header)
{
    if (source_read(source, buffer, SECTOR_SIZE) != SECTOR_SIZE)
        return STATUS_SOURCE_READ;
    memcpy(header.bytes, buffer, HEADER_SIZE);
    // The copy starts with the header sector itself.
    source_seek(source, 0);
    return STATUS_OK;
}

Signature classify_signature(const ImageHeader& header)
{
    if (memcmp(header.bytes, "QRV", SIGNATURE_SIZE) == 0)
        return SIGNATURE_QRV;
    if (memcmp(header.bytes, "IMG", SIGNATURE_SIZE) == 0)
        return SIGNATURE_IMG;
    return SIGNATURE_OTHER;
}

bool is_end_marker(const unsigned char* sector, const ImageHeader& header)
{
    if (memcmp(sector, header.bytes, LEADING_IDENTITY_LENGTH) != 0)
        return false;
    for (const IdentityRange& range : IDENTITY_RANGES)
        if (memcmp(sector + range.offset, header.bytes + range.offset, range.length) != 0)
            return false;
    return true;
}

int finalise_image(const char* path, ImageHeader& header)
{
    memcpy(header.bytes, "IMG", SIGNATURE_SIZE);
    int dest = dest_reopen(path);
    if (dest == NO_DEST)
        return STATUS_DEST_OPEN;
    int status = dest_write(dest, header.bytes, HEADER_SIZE) == HEADER_SIZE ? STATUS_OK : STATUS_DEST_WRITE;
    if (!dest_close(dest))
        status = STATUS_DEST_WRITE;
    return status;
}
