// initWindSerial: the flat way to configure the engine's own wind output.
#include <tarvelmond.h>

#include <string>

#include "engine/motion_engine.h"

namespace {

// UTF-16 (with surrogate pairs) to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string toUtf8(const tarvelmond_utf16* text) {
    std::string out;
    if (text == nullptr) return out;
    for (const tarvelmond_utf16* p = text; *p != 0; ++p) {
        char32_t c = static_cast<char16_t>(*p);
        if (c >= 0xD800 && c <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char16_t>(p[1]) - 0xDC00);
            ++p;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

}  // namespace

extern "C" int initWindSerial(const tarvelmond_utf16* port, int baudRate, const tarvelmond_utf16* mode,
                              unsigned int intervalMs) {
    tarvelmond::MotionEngine& engine = tarvelmond::engine();
    return engine.output.windSerial.init(toUtf8(port), baudRate, toUtf8(mode), intervalMs) ? 1 : 0;
}
