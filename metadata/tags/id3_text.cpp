#include "metadata/tags/id3_text.h"

#include <windows.h>

namespace id3parser {

namespace {

constexpr uint32_t maxZeroUnits = 1024;

std::wstring wideFromCodepage(unsigned codepage, const char* bytes, size_t length) {
    if (length == 0) return std::wstring();
    int n = MultiByteToWideChar(codepage, 0, bytes, static_cast<int>(length), nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codepage, 0, bytes, static_cast<int>(length), &out[0], n);
    return out;
}

std::string utf8FromWide(const wchar_t* text, size_t length) {
    if (length == 0) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring wideFromUtf8(const std::string& text) { return wideFromCodepage(CP_UTF8, text.data(), text.size()); }

// Each character up to `limit` is kept as one byte; every other character (a surrogate pair counts as
// one) becomes '?'.
std::string narrowFromUtf8(const std::string& text, unsigned limit) {
    std::wstring w = wideFromUtf8(text);
    std::string out;
    out.reserve(w.size());
    for (size_t i = 0; i < w.size(); ++i) {
        unsigned c = static_cast<unsigned>(w[i]);
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < w.size()) {
            unsigned next = static_cast<unsigned>(w[i + 1]);
            if (next >= 0xDC00 && next < 0xE000) ++i;
            out.push_back('?');
        } else {
            out.push_back(c <= limit ? static_cast<char>(c) : '?');
        }
    }
    return out;
}

size_t textStart(const frame& f) { return hasLanguage(f.id) ? 4 : 1; }

// Checks the encoding byte and the length of the fixed part; answers the unit width (1 or 2).
size_t checkedUnitWidth(const frame& f) {
    if (f.data.size() < textStart(f)) throw parseError();
    uint8_t encoding = f.data[0];
    if (encoding > 3) throw parseError();
    return (encoding == 1 || encoding == 2) ? 2 : 1;
}

bool unitIsZero(const std::vector<uint8_t>& data, size_t start, size_t width, size_t unit) {
    size_t at = start + unit * width;
    return width == 1 ? data[at] == 0 : (data[at] == 0 && data[at + 1] == 0);
}

std::string decodeString(const frame& f, size_t byteStart, size_t units, bool strict) {
    const uint8_t* p = f.data.data() + byteStart;
    switch (f.data[0]) {
    case 0:
        if (strict) {
            for (size_t i = 0; i < units; ++i) {
                if (p[i] >= 0x80) throw parseError();
            }
        }
        return utf8FromAnsi(p, units);
    case 1:
        if (units >= 1 && p[0] == 0xFF && p[1] == 0xFE) return utf8FromUtf16(p + 2, units - 1, false);
        if (units >= 1 && p[0] == 0xFE && p[1] == 0xFF) return utf8FromUtf16(p + 2, units - 1, true);
        if (strict && units > 0) throw parseError();
        return utf8FromUtf16(p, units, false);
    case 2:
        return utf8FromUtf16(p, units, true);
    case 3:
        if (isValidUtf8(p, units)) return std::string(reinterpret_cast<const char*>(p), units);
        if (strict) throw parseError();
        return utf8FromAnsi(p, units);
    default:
        throw parseError();
    }
}

void appendEncoded(std::vector<uint8_t>& out, const std::string& text, uint8_t encoding) {
    switch (encoding) {
    case 0: {
        std::string ascii = asciiFromUtf8(text);
        out.insert(out.end(), ascii.begin(), ascii.end());
        out.push_back(0);
        break;
    }
    case 1: {
        std::wstring w = wideFromUtf8(text);
        out.push_back(0xFF);
        out.push_back(0xFE);
        for (wchar_t c : w) {
            out.push_back(static_cast<uint8_t>(static_cast<unsigned>(c) & 0xFF));
            out.push_back(static_cast<uint8_t>(static_cast<unsigned>(c) >> 8));
        }
        out.push_back(0);
        out.push_back(0);
        break;
    }
    case 3:
        out.insert(out.end(), text.begin(), text.end());
        out.push_back(0);
        break;
    default:
        throw writeError();
    }
}

}  // namespace

bool hasLanguage(uint32_t id) { return id == frameId("COMM") || id == frameId("USLT"); }

std::string utf8FromAnsi(const uint8_t* bytes, size_t length) {
    std::wstring w = wideFromCodepage(CP_ACP, reinterpret_cast<const char*>(bytes), length);
    return utf8FromWide(w.data(), w.size());
}

std::string utf8FromLatin1(const uint8_t* bytes, size_t length) {
    std::string out;
    out.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        uint8_t c = bytes[i];
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::string utf8FromUtf16(const uint8_t* bytes, size_t units, bool bigEndian) {
    std::wstring w(units, L'\0');
    for (size_t i = 0; i < units; ++i) {
        uint8_t a = bytes[2 * i], b = bytes[2 * i + 1];
        w[i] = static_cast<wchar_t>(bigEndian ? (a << 8 | b) : (b << 8 | a));
    }
    return utf8FromWide(w.data(), w.size());
}

std::string asciiFromUtf8(const std::string& text) { return narrowFromUtf8(text, 0x7F); }

std::string latin1FromUtf8(const std::string& text) { return narrowFromUtf8(text, 0xFF); }

bool isValidUtf8(const uint8_t* bytes, size_t length) {
    if (length == 0) return true;
    std::wstring w = wideFromCodepage(CP_UTF8, reinterpret_cast<const char*>(bytes), length);
    std::string back = utf8FromWide(w.data(), w.size());
    return back.size() == length && back.compare(0, length, reinterpret_cast<const char*>(bytes), length) == 0;
}

uint32_t valueCount(const frame& f) {
    size_t width = checkedUnitWidth(f);
    size_t start = textStart(f);
    size_t units = (f.data.size() - start) / width;
    if (units == 0) return 0;
    uint32_t zeros = 0;
    for (size_t u = 0; u < units; ++u) {
        if (unitIsZero(f.data, start, width, u)) {
            if (++zeros > maxZeroUnits) throw parseError();
        }
    }
    return zeros + (unitIsZero(f.data, start, width, units - 1) ? 0 : 1);
}

std::string getValue(const frame& f, uint32_t index, textCursor& cursor, bool strict) {
    size_t width = checkedUnitWidth(f);
    size_t start = textStart(f);
    size_t units = (f.data.size() - start) / width;

    uint32_t number = 0;
    size_t position = 0;
    if (cursor.valid && cursor.stringNumber <= index && cursor.unitPosition <= units) {
        number = cursor.stringNumber;
        position = cursor.unitPosition;
    }
    while (number < index) {
        while (position < units && !unitIsZero(f.data, start, width, position)) ++position;
        while (position < units && unitIsZero(f.data, start, width, position)) ++position;
        ++number;
    }
    cursor.stringNumber = number;
    cursor.unitPosition = position;
    cursor.valid = true;

    size_t end = position;
    while (end < units && !unitIsZero(f.data, start, width, end)) ++end;
    return decodeString(f, start + position * width, end - position, strict);
}

std::string getValue(const frame& f, uint32_t index, bool strict) {
    textCursor cursor;
    return getValue(f, index, cursor, strict);
}

void setText(frame& f, const std::string& text, uint8_t encoding) {
    if (encoding != 0 && encoding != 1 && encoding != 3) throw writeError();
    std::vector<uint8_t> payload;
    payload.push_back(encoding);
    if (hasLanguage(f.id)) {
        payload.push_back('e');
        payload.push_back('n');
        payload.push_back('g');
    }
    appendEncoded(payload, text, encoding);
    f.data.swap(payload);
}

void appendText(frame& f, const std::string& text) {
    if (f.data.empty()) throw parseError();
    uint8_t encoding = f.data[0];
    if (encoding != 0 && encoding != 1 && encoding != 3) throw parseError();
    appendEncoded(f.data, text, encoding);
}

void setAsciiText(frame& f, const std::string& text) {
    std::vector<uint8_t> payload;
    payload.push_back(0);
    appendEncoded(payload, text, 0);
    f.data.swap(payload);
}

std::string urlText(const frame& f) {
    if (f.data.empty()) throw parseError();
    return utf8FromLatin1(f.data.data(), f.data.size());
}

std::string userUrl(const frame& f) {
    if (f.data.empty() || f.data[0] > 3) throw parseError();
    size_t width = (f.data[0] == 1 || f.data[0] == 2) ? 2 : 1;
    size_t units = (f.data.size() - 1) / width;
    for (size_t u = 0; u < units; ++u) {
        if (unitIsZero(f.data, 1, width, u)) {
            size_t after = 1 + (u + 1) * width;
            return utf8FromLatin1(f.data.data() + after, f.data.size() - after);
        }
    }
    throw parseError();
}

void setUrl(frame& f, const std::string& text) {
    std::string latin1 = latin1FromUtf8(text);
    f.data.assign(latin1.begin(), latin1.end());
}

}  // namespace id3parser
