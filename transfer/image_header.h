// The image header, its signature, the end-marker test, and the header read and rewrite.
#pragma once
#include <cstdint>

struct SourceFile;

constexpr uint32_t SECTOR_SIZE = 2048;
constexpr uint32_t HEADER_SIZE = 108;
constexpr uint32_t SIGNATURE_SIZE = 3;


// The 108-byte header at the start of an image and of its end marker; apart
// from the signature in bytes 0-2 the tool treats it as opaque bytes.
struct ImageHeader {
    unsigned char bytes[HEADER_SIZE];
};

struct IdentityRange {
    uint32_t offset;
    uint32_t length;
};

// Header bytes that an end marker repeats, after the leading bytes 0-9.
constexpr uint32_t LEADING_IDENTITY_LENGTH = 10;
constexpr IdentityRange IDENTITY_RANGES[3] = {{18, 9}, {36, 12}, {50, 2}};

enum Signature { SIGNATURE_QRV, SIGNATURE_IMG, SIGNATURE_OTHER };

// Reads sector 0 of a part just opened, keeps its first 108 bytes in header
// and places the part back at its start. Returns STATUS_OK, or
// STATUS_SOURCE_READ when the read does not deliver a whole sector.
int read_header(SourceFile* source, unsigned char* buffer, ImageHeader& header);

// "QRV" for an image on the discs, "IMG" for one already converted; case matters.
Signature classify_signature(const ImageHeader& header);

// True when the sector repeats the header's identity bytes (33 bytes in all).
bool is_end_marker(const unsigned char* sector, const ImageHeader& header);

// Sets the signature to "IMG" and writes the header over the first 108 bytes
// of the existing destination part 0, flushed to stable storage. Returns
// STATUS_OK, STATUS_DEST_OPEN or STATUS_DEST_WRITE (the write, its flush or
// the close failed).
int finalise_image(const char* path, ImageHeader& header);
