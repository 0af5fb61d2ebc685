// Engine text: counted byte strings in the engine heap (4-byte length before the
// first byte, a zero byte after the last). A String cell holds a 32-bit handle to
// the first byte; 0 and the shared empty string both mean the empty text.
#pragma once
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

namespace nx {

using NxStr = char *;  // address of the first byte, or nullptr

// The longest text the engine makes (the calculator's String repeat has the
// same bound). The heap lies below 2 GiB and holds a text several times while
// it is assigned; a text that doubles without end stops here, and its
// evaluation ends with an error while there is still room to go on.
constexpr size_t kMaxTextBytes = size_t(64) << 20;

NxStr strAlloc(const char *bytes, uint32_t length); // length 0 gives the shared empty string
inline NxStr strAlloc(std::string_view s) {
    if (s.size() > kMaxTextBytes) throw std::bad_alloc();
    return strAlloc(s.data(), static_cast<uint32_t>(s.size()));
}
NxStr strFresh(const char *bytes, uint32_t length); // always a new block, even when empty
void strFree(NxStr s);                               // ignores nullptr and the shared empty string
inline uint32_t strLen(const char *s) { return s ? *reinterpret_cast<const uint32_t *>(s - 4) : 0; }
inline std::string_view strView(const char *s) { return s ? std::string_view(s, strLen(s)) : std::string_view(); }
NxStr sharedEmpty();                                 // the handle held by the empty-string cell
uint32_t *emptyStringCell();                         // routine table slot 110
bool isEmptyHandle(const char *s);                   // 0 or the shared empty string

// Replace the string held by a slot, freeing the old one.
inline void strAssign(NxStr &slot, std::string_view s) {
    NxStr n = strAlloc(s);
    strFree(slot);
    slot = n;
}

// String cells (4 bytes).
inline NxStr cellStr(const void *cell) {
    uint32_t h;
    std::memcpy(&h, cell, 4);
    return reinterpret_cast<NxStr>(static_cast<uintptr_t>(h));
}
inline void setCellStr(void *cell, NxStr s) {
    uint32_t h = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(s));
    std::memcpy(cell, &h, 4);
}
// Release the cell's string and store a copy of the text.
void cellAssign(void *cell, std::string_view text);

// The text without leading and trailing blanks, tabs and line breaks.
inline std::string_view trimBlanks(std::string_view s) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

// Name comparison: byte-wise, with ASCII case folding unless case-sensitive. One
// total order, since the symbol table is sorted and binary-searched.
int compareNames(std::string_view a, std::string_view b, bool caseSensitive);
bool equalNames(std::string_view a, std::string_view b, bool caseSensitive);
inline unsigned char foldAscii(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

} // namespace nx
