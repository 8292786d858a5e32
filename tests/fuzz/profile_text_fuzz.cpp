// The profile-file reader on any file: values come from inside the text and are never longer than a
// profile read keeps.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/profile_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const char* section : {"SimConnect", "SimConnect.1", "s"}) {
        for (const char* key : {"Protocol", "Port", "MaxReceiveSize", "a"}) {
            const std::string value = tarvelmond::platform::profileTextValue(text, section, key);
            if (value.size() > tarvelmond::platform::kProfileValueMax) std::abort();
            if (!value.empty() && text.find(value) == std::string_view::npos) std::abort();
        }
        tarvelmond::platform::profileTextSectionHasEntries(text, section);
    }
    return 0;
}
