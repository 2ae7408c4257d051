// Image sets in the fake platform's files, and a conversion run over them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "front/driver.h"
#include "front/paths.h"
#include "tests/fake/fake_platform.h"
#include "tests/native_path.h"
#include "tools/image_builder.h"

namespace parts {

using ::native;

inline std::string name(const std::string& base, uint32_t part)
{
    return part_file_name(base, part);
}

// Puts the parts of set into the fake file system as disc/KORVADIS.IMG ...,
// the very bytes write_image_set would write.
inline void install(const ImageSet& set, const std::string& dir = "disc")
{
    for (uint32_t part = 0; part < set.part_sizes.size(); ++part)
        fake::files[dir + "/" + name(set.base_name, part)].data = part_bytes(set, part);
}

// Composes the paths from the two arguments (the destination spelt with the
// platform's separator) and runs the conversion, as the
// driver does after its questions.
inline int convert(const char* source = "disc", const std::string& dest = "out/disk")
{
    compose_source_path(source);
    compose_dest_path(native(dest).c_str());
    return convert_image();
}

} // namespace parts
