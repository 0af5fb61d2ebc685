// Fuzz target: the readers of the tool windows' own files, the adder tape
// (".add"), the converter session (".con") and the summation inputs (".sum").
// The first byte chooses the reader, the rest is the file. Whatever a file
// holds, what is read must write out and read back unchanged.
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "tools/adder.h"
#include "tools/converterform.h"
#include "tools/summation.h"
#include "tools/toolfiles.h"

namespace {

void adderFile(std::string_view text) {
    nomix::ReadReport report;
    std::vector<nomix::AdderRow> rows = nomix::readAdderText(text, report);
    if (rows.size() > nomix::kMaxAdderRows) fuzz::finding("more tape rows than the limit");
    nomix::ReadReport again;
    if (nomix::readAdderText(nomix::adderFileText(rows), again) != rows)
        fuzz::finding("the tape changed on writing and reading back");
    nomix::AdderTape tape;
    tape.setRows(rows);
    if (tape.rows().empty() || !tape.rows().back().value.empty()) fuzz::finding("the tape has no free last row");
    tape.removeCurrent();
    tape.insertBeforeCurrent();
    if (tape.current() >= tape.rows().size()) fuzz::finding("the current row is outside the tape");
}

// A small table, so that restored categories and units are sometimes known.
nomix::ConversionTable smallTable() {
    nomix::ConversionTable table;
    nomix::readConversions("[Length]\nm: ft: x/0.3048: x*0.3048\nm: in: x/0.0254: x*0.0254\n[Mass]\nkg: g: x*1000: x/1000\n",
                           table);
    return table;
}

void converterFile(std::string_view text) {
    nomix::ReadReport report;
    const std::vector<std::string> lines = nomix::readConverterText(text, report);
    nomix::ConverterForm form;
    form.setTable(smallTable(), "Length");
    form.restoreLines(lines);
    const size_t rows = form.rows().size();
    if (rows < nomix::kMinConverterRows || rows > nomix::kMaxConverterRows) fuzz::finding("row count out of bounds");
    if (form.activeRow() >= rows) fuzz::finding("the source row is outside the form");
    const std::vector<std::string> written = form.sessionLines();
    nomix::ReadReport again;
    nomix::ConverterForm back;
    back.setTable(smallTable(), "Mass");
    back.restoreLines(nomix::readConverterText(nomix::joinToolLines(written), again));
    if (back.sessionLines() != written) fuzz::finding("the converter session changed on writing and reading back");
}

void sumFile(std::string_view text) {
    nomix::ReadReport report;
    const nomix::SumInputs inputs = nomix::readSumText(text, report);
    nomix::ReadReport again;
    if (!(nomix::readSumText(nomix::joinToolLines(nomix::sumLines(inputs)), again) == inputs))
        fuzz::finding("the summation inputs changed on writing and reading back");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    std::string_view text(reinterpret_cast<const char *>(data) + 1, size - 1);
    switch (data[0] % 3) {
    case 0: adderFile(text); break;
    case 1: converterFile(text); break;
    default: sumFile(text); break;
    }
    return 0;
}
