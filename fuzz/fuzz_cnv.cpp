// Fuzz target: the conversion table reader ("nomix.cnv"). Whatever a file
// holds, the table read from it must be writable, must read back unchanged
// from what is written, and the unit walk over it must end.
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "tools/conversions.h"

namespace {

// The walk between the first and the last unit of every small category, with
// an evaluator that only counts: it must end within a bound of formula
// evaluations (at most one attempt per entry, one step per unit each).
void walkEveryCategory(const nomix::ConversionTable &table) {
    for (int c = 0; c < static_cast<int>(table.categories.size()) && c < 8; ++c) {
        std::vector<std::string> units = table.categoryUnits(c);
        auto range = table.categoryRange(c);
        if (units.size() < 2 || !range || range->second - range->first > 64) continue;
        size_t entries = range->second - range->first + 1, calls = 0;
        nomix::ConversionResult r = nomix::convertUnits(
            table, c, units.front(), units.back(), 1.0, [&calls](const std::string &, double x) {
                ++calls;
                return std::optional<double>(x);
            });
        if (calls > (entries + 1) * (units.size() + 1)) fuzz::finding("the unit walk evaluated without bound");
        if (r.status == nomix::ConversionResult::Status::UnknownUnit) fuzz::finding("a unit of the category unknown");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string_view text(reinterpret_cast<const char *>(data), size);
    nomix::ConversionTable read;
    nomix::readConversions(text, read);
    if (!nomix::conversionWriteProblems(read).empty()) fuzz::finding("a table as read cannot be written");

    const std::string written = nomix::conversionsText(read);
    nomix::ConversionTable again;
    nomix::ReadReport reload = nomix::readConversions(written, again);
    if (!reload.problems.empty()) {
        std::fprintf(stderr, "first problem: %s\n", reload.problemText().c_str());
        fuzz::finding("the table as written does not read back without problems");
    }
    if (!(again == read)) fuzz::finding("the table changed on writing and reading back");
    walkEveryCategory(read);
    return 0;
}
