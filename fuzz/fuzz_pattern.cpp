// Fuzz target: a token pattern compiled and matched against a text. The first
// byte chooses case sensitivity (bit 0) and where matching starts; the rest is
// the pattern up to the first line feed, then the text.
#include <string_view>

#include "engine.h"
#include "fuzz_support.h"
#include "heap.h"

namespace {

// Matches from `start` and checks that a reported match lies inside the text.
void matchFrom(const nx::CompiledPattern *pattern, std::string_view text, size_t start) {
    size_t matchStart = 0, matchLength = 0;
    if (!nx::matchPattern(pattern, text, start, matchStart, matchLength)) return;
    if (matchStart < start || matchStart > text.size() || matchLength > text.size() - matchStart)
        fuzz::finding("a match reported outside the text");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return -1;
    const bool caseSensitive = (data[0] & 1) != 0;
    std::string_view input(reinterpret_cast<const char *>(data) + 1, size - 1);
    size_t cut = input.find('\n');
    std::string_view source = input.substr(0, cut);
    std::string_view text = cut == std::string_view::npos ? std::string_view() : input.substr(cut + 1);

    int64_t before = nx::heapLiveBlocks();
    nx::CompiledPattern *pattern = nx::compilePattern(source, caseSensitive);
    if (pattern) {
        matchFrom(pattern, text, 0);
        matchFrom(pattern, text, (data[0] >> 1) % (text.size() + 1));
        matchFrom(pattern, text, text.size());
        nx::freePattern(pattern);
    }
    if (nx::heapLiveBlocks() != before) fuzz::finding("a compiled pattern leaked heap blocks");
    return 0;
}
