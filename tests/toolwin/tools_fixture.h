// What the tool-window tests share: an application with a host that records
// message boxes instead of showing them, the whole calculator language
// (both phases and the shipped start-up script), and a fresh working directory
// holding the shipped tool files.
#pragma once

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QWidget>

#include <string>
#include <vector>

#include "shell/binding.h"
#include "shell/bootstrap.h"
#include "shell/host.h"
#include "shell/script.h"

namespace toolstest {

class RecordingHost : public nomix::Host {
public:
    std::vector<std::string> boxes;
    int answer = 1;  // what every box answers (1 OK, 6 Yes, 7 No)
    int messageBox(const std::string &prompt, int, const std::string &) override {
        boxes.push_back(prompt);
        return answer;
    }
    std::string inputBox(const std::string &, const std::string &, const std::string &d) override { return d; }
    void doEvents() override {}
    void sleepMs(int) override {}
    bool closing() const override { return false; }
};

// One per test program: the language is process-wide, so it is built once.
struct ToolApplication {
    RecordingHost host;
    nomix::Application app{host};
    QTemporaryDir dir;
    ToolApplication() {
        nomix::DefineApplicationLanguage(nomix::binding());
        nomix::runScriptFile(nomix::binding(), NOMIX_SOURCE_DIR "/data/Nomix.nx");
        QDir::setCurrent(dir.path());
        QFile::copy(NOMIX_SOURCE_DIR "/data/nomix.cnv", dir.filePath("nomix.cnv"));
        QFile::copy(NOMIX_SOURCE_DIR "/data/nomix.usm", dir.filePath("nomix.usm"));
    }
};

// The window rendered to build/<name>.png when NOMIX_TOOL_PICTURES names a directory.
inline void picture(QWidget &w, const QString &name) {
    const QByteArray out = qgetenv("NOMIX_TOOL_PICTURES");
    if (out.isEmpty()) return;
    w.show();
    w.grab().save(QString::fromLocal8Bit(out) + QLatin1Char('/') + name + QStringLiteral(".png"));
}

} // namespace toolstest
