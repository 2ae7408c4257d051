// Source and destination names of part 0.
#include "front/paths.h"

#include <cstring>

#include "front/ascii.h"
#include "transfer/run_state.h"

namespace {

const char SOURCE_PART0_NAME[] = "KORVADIS.IMG";
const char IMAGE_EXTENSION[] = ".IMG";

// Copies at most PATH_BUFFER_SIZE - 1 characters; the last byte stays a terminator.
void copy_bounded(char* buffer, const char* text)
{
    strncpy(buffer, text, PATH_BUFFER_SIZE - 1);
    buffer[PATH_BUFFER_SIZE - 1] = '\0';
}

} // namespace

int compose_source_path(const char* argument)
{
    size_t length = strlen(argument);
    bool needs_separator = length == 0 || argument[length - 1] != PATH_SEPARATOR;
    size_t composed = length + (needs_separator ? 1 : 0) + strlen(SOURCE_PART0_NAME);
    copy_bounded(source_path, argument);
    if (composed > PATH_BUFFER_SIZE - 1)
        return STATUS_SOURCE_OPEN;
    if (needs_separator)
        source_path[length++] = PATH_SEPARATOR;
    memcpy(source_path + length, SOURCE_PART0_NAME, sizeof SOURCE_PART0_NAME);
    return STATUS_OK;
}

int compose_dest_path(const char* argument)
{
    size_t length = strlen(argument);
    copy_bounded(dest_path, argument);

    // Back from the last character to the first '.' or separator; the first
    // character takes part, so ".img" alone is a name with an extension.
    const char* extension = nullptr;
    for (size_t i = length; i > 0; --i) {
        char c = argument[i - 1];
        if (c == PATH_SEPARATOR)
            break;
        if (c == '.') {
            extension = argument + i - 1;
            break;
        }
    }

    if (extension != nullptr) {
        if (length > PATH_BUFFER_SIZE - 1)
            return STATUS_DEST_OPEN;
        return equals_ignoring_ascii_case(extension, IMAGE_EXTENSION) ? STATUS_OK : STATUS_BAD_EXTENSION;
    }
    if (length + strlen(IMAGE_EXTENSION) > PATH_BUFFER_SIZE - 1)
        return STATUS_DEST_OPEN;
    memcpy(dest_path + length, IMAGE_EXTENSION, sizeof IMAGE_EXTENSION);
    return STATUS_OK;
}
