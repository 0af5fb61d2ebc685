#include "sessionfiles.h"

#include "shell/session.h"

namespace nomix::gui {

namespace {

std::vector<std::string> toStd(const QStringList &list) {
    std::vector<std::string> out;
    out.reserve(size_t(list.size()));
    for (const QString &s : list) out.push_back(s.toStdString());
    return out;
}

QStringList toQt(const std::vector<std::string> &list) {
    QStringList out;
    out.reserve(qsizetype(list.size()));
    for (const std::string &s : list) out << QString::fromStdString(s);
    return out;
}

std::filesystem::path pathOf(const QString &path) { return std::filesystem::path(path.toStdString()); }

QString problemsOf(const ReadReport &report) {
    if (report.state == ReadReport::State::Unreadable)
        return report.message.empty() ? QStringLiteral("The file could not be read.")
                                      : QString::fromStdString(report.message);
    if (report.problems.empty()) return {};
    return QString::fromStdString(report.problemText());
}

} // namespace

SessionLoad readSessionFile(const QString &path) {
    SessionRead read = loadSession(pathOf(path));
    SessionLoad out;
    out.missing = read.report.state == ReadReport::State::Missing;
    out.problems = problemsOf(read.report);
    for (const WindowRecord &w : read.windows) {
        SessionWindow s;
        s.name = QString::fromStdString(w.name);
        s.state = int(w.state);
        if (w.geometry) {
            s.hasGeometry = true;
            s.twips = QRect(int(w.geometry->left), int(w.geometry->top), int(w.geometry->width),
                            int(w.geometry->height));
        }
        s.lines = toQt(w.lines);
        out.windows << s;
    }
    return out;
}

bool writeSessionFile(const QString &path, const QVector<SessionWindow> &windows, QString *error) {
    std::vector<WindowRecord> records;
    for (const SessionWindow &s : windows) {
        WindowRecord w;
        w.name = s.name.toStdString();
        w.state = WindowState(s.state);
        if (s.hasGeometry)
            w.geometry = nomix::SessionGeometry{s.twips.height(), s.twips.width(), s.twips.top(), s.twips.left()};
        w.lines = toStd(s.lines);
        records.push_back(std::move(w));
    }
    SaveOutcome outcome = saveSession(pathOf(path), records);
    if (!outcome.ok && error) *error = QString::fromStdString(outcome.error);
    return outcome.ok;
}

QStringList calculatorSessionRecords(const QStringList &recall, const QStringList &answers) {
    return toQt(calculatorRecords(CalculatorLists{toStd(recall), toStd(answers)}));
}

void readCalculatorSessionRecords(QStringList &lines, QStringList &recall, QStringList &answers) {
    std::vector<std::string> all = toStd(lines);
    RecordCursor cursor(all);
    CalculatorLists lists = readCalculatorRecords(cursor);
    recall = toQt(lists.recall);
    answers = toQt(lists.answers);
    lines = lines.mid(qsizetype(cursor.position()));
}

AnswerFile readAnswerFile(const QString &path) {
    AnswerSession read = loadAnswerFile(pathOf(path));
    AnswerFile out;
    out.missing = read.report.state == ReadReport::State::Missing;
    out.problems = problemsOf(read.report);
    out.answers = toQt(read.answers);
    out.recall = toQt(read.recall);
    return out;
}

bool writeAnswerFile(const QString &path, const QStringList &answers, QString *error) {
    SaveOutcome outcome = saveAnswerFile(pathOf(path), toStd(answers));
    if (!outcome.ok && error) *error = QString::fromStdString(outcome.error);
    return outcome.ok;
}

} // namespace nomix::gui
