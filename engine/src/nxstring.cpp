// Counted byte strings and name comparison.
#include "nxstring.h"

#include <cstring>
#include <mutex>

#include "heap.h"
#include "nxeng296.h"

namespace nx {
namespace {

// The shared empty string and the cell that holds its handle (slot 110) live in
// the engine heap so that their addresses fit in 32 bits.
struct EmptyString {
    NxStr text = nullptr;
    uint32_t *cell = nullptr;
};
EmptyString &emptyString() {
    static EmptyString e = [] {
        EmptyString made;
        made.text = strFresh("", 0);
        made.cell = static_cast<uint32_t *>(heapAlloc(sizeof(uint32_t)));
        *made.cell = toHandle(made.text);
        return made;
    }();
    return e;
}

} // namespace

NxStr strFresh(const char *bytes, uint32_t length) {
    char *block = static_cast<char *>(heapAlloc(size_t(length) + 5));
    if (!block) throw std::bad_alloc();
    std::memcpy(block, &length, 4);
    if (length && bytes) std::memcpy(block + 4, bytes, length);
    block[4 + length] = 0;
    return block + 4;
}

NxStr strAlloc(const char *bytes, uint32_t length) {
    if (length == 0) return sharedEmpty();
    return strFresh(bytes, length);
}

NxStr sharedEmpty() { return emptyString().text; }
uint32_t *emptyStringCell() { return emptyString().cell; }

bool isEmptyHandle(const char *s) { return s == nullptr || s == emptyString().text; }

void strFree(NxStr s) {
    if (isEmptyHandle(s)) return;
    heapFree(s - 4);
}

void cellAssign(void *cell, std::string_view text) {
    NxStr old = cellStr(cell);
    setCellStr(cell, strAlloc(text));
    strFree(old);
}

int compareNames(std::string_view a, std::string_view b, bool caseSensitive) {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (!caseSensitive) {
            x = foldAscii(x);
            y = foldAscii(y);
        }
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool equalNames(std::string_view a, std::string_view b, bool caseSensitive) {
    return a.size() == b.size() && compareNames(a, b, caseSensitive) == 0;
}

} // namespace nx

extern "C" {
NX_API char *nxStrAlloc(const char *bytes, uint32_t length) { return nx::strAlloc(bytes, length); }
NX_API void nxStrFree(char *text) { nx::strFree(text); }
NX_API uint32_t nxStrLen(const char *text) { return nx::strLen(text); }
}
