// Fuzz target: the session readers ("nomix.tmp" and the calculator's "*.ans"
// files). Whatever a file holds, what was read must survive being written and
// read back unchanged, without problems: otherwise the next exit would quietly
// change the user's session. The calculator's records are read from every
// window too, so garbage counts are exercised.
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "shell/session.h"

namespace {

// The session-state reader, its written form, and the calculator records in each window.
void sessionRoundTrip(std::string_view text) {
    nomix::SessionRead read = nomix::readSessionText(text);
    for (const nomix::WindowRecord &window : read.windows) {
        nomix::RecordCursor cursor(window.lines);
        nomix::ReadReport report;
        nomix::CalculatorLists lists = nomix::readCalculatorRecords(cursor, &report);
        if (lists.recall.size() + lists.answers.size() > window.lines.size())
            fuzz::finding("the calculator records hold more lines than the window");
    }
    nomix::SessionRead again = nomix::readSessionText(nomix::sessionText(read.windows));
    if (!again.report.problems.empty()) {
        std::fprintf(stderr, "first problem: %s\n", again.report.problemText().c_str());
        fuzz::finding("the session as written does not read back without problems");
    }
    if (again.windows != read.windows) fuzz::finding("the session changed on writing and reading back");
}

// The answer-file reader: the same answer list and recall list after a save.
void answerRoundTrip(std::string_view text) {
    nomix::AnswerSession read = nomix::readAnswerText(text);
    if (read.recall.size() > read.answers.size()) fuzz::finding("more inputs than answer lines");
    nomix::AnswerSession again = nomix::readAnswerText(nomix::answerFileText(read.answers));
    if (!again.report.problems.empty()) fuzz::finding("the answer file as written does not read back cleanly");
    if (again.answers != read.answers || again.recall != read.recall)
        fuzz::finding("the answer list changed on saving and opening again");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string_view text(reinterpret_cast<const char *>(data), size);
    sessionRoundTrip(text);
    answerRoundTrip(text);
    return 0;
}
