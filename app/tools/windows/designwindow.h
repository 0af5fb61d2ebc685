// What every design window offers the main window: its design name, the File
// menu's Open / Save / Print routed to it when it is the active child, its help
// topic, and its records in the session-state file "nomix.tmp". The main window
// holds each design window in a QMdiSubWindow and knows them only through this
// class, so the tool windows come and go without the frame knowing their types.
#pragma once
#include <QColor>
#include <QPalette>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class QPainter;
class QPrinter;

namespace nomix::gui {

// Reads the lines of one window's records in "nomix.tmp" one at a time; a
// truncated record answers empty lines, so a window restores what is there.
class RecordReader {
public:
    explicit RecordReader(QStringList lines) : lines_(std::move(lines)) {}
    bool atEnd() const { return next_ >= lines_.size(); }
    QString take() { return atEnd() ? QString() : lines_[next_++]; }
    // A count line: a number from 0 to `limit`, else 0 (garbage never allocates).
    int takeCount(int limit = 100000);
    // Every line not taken yet, for a core reader of plain text lines.
    std::vector<std::string> takeRest();

private:
    QStringList lines_;
    qsizetype next_ = 0;
};

class DesignWindow : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;

    // The design name ("frmNOMIX", "frmGraph", ...); also the object name.
    virtual QString formName() const = 0;
    // The window's caption in the Window menu and its title bar.
    virtual QString caption() const { return windowTitle(); }

    // File > Open and File > Save As, as Qt filters ("Session files (*.ans);;All Files (*)");
    // an empty filter means the window has no such command.
    virtual QString openFilter() const { return {}; }
    virtual QString saveFilter() const { return openFilter(); }
    // Returns false and has shown the message when the file could not be used.
    virtual bool openFile(const QString & /*path*/) { return false; }
    virtual bool saveFile(const QString & /*path*/, const QString & /*chosenFilter*/) { return false; }
    // Windows whose file is fixed ("nomix.cnv", "nomix.usm") open and save it
    // without a dialog: they answer true here and do the work in openFile/saveFile("").
    virtual bool fixedFile() const { return false; }

    // The File menu's print entry: its caption ("Print Graph", ...) and the page.
    virtual QString printCaption() const { return QStringLiteral("&Print Session"); }
    // Paints the printed page (also used by Special Copy, onto an image).
    virtual void printPage(QPainter & /*painter*/, const QRect & /*page*/) {}

    // The help topic of the window ("Overview.htm" by default) or of its focused control.
    virtual QString helpTopic() const { return QStringLiteral("Overview.htm"); }

    // Session records after the state and geometry lines: the window-specific
    // records, then the texts of its controls in control order.
    virtual QStringList sessionRecords() { return {}; }
    virtual void restoreSession(RecordReader & /*records*/) {}

    // The control a script names ("PLOTEQ", "SUMFROM", ... in upper case, with
    // the index given after "+", -1 when none), or nullptr when the window has
    // no control of that name. The frame knows which window holds each name.
    virtual QWidget *scriptControl(const QString & /*name*/, int /*index*/) { return nullptr; }

    // Sample content for the screenshots and the help pictures: sample i of
    // sampleCount() (the graph shows one curve kind per sample, say).
    virtual int sampleCount() const { return 1; }
    virtual void showSample(int /*index*/) {}

    // Runs work that uses the engine (binding(), the calculator core) where the
    // program runs the engine: the desktop program keeps it on a thread of its
    // own, so a window must not call the engine directly while a calculation
    // runs. Returns when the job is done; the windows keep painting meanwhile.
    // Without a program (tests of a single window) the job runs at once.
    static void runEngineJob(const std::function<void()> &job);
    using EngineJobRunner = std::function<void(const std::function<void()> &)>;
    static void setEngineJobRunner(EngineJobRunner runner);
};

// Shows the design window of that name (creating it when it is not open) and
// returns it, or nullptr when this build has no such window. The main window
// installs an opener that places windows in its MDI area; without one (tests of
// a single window) windows open as top-level windows, one per name.
DesignWindow *openDesignWindow(const QString &formName);
using WindowOpener = std::function<DesignWindow *(const QString &formName)>;
void setWindowOpener(WindowOpener opener);

// The window of a design name, or nullptr when this build has none yet (the
// main window then shows a placeholder saying which tool is coming).
DesignWindow *createToolWindow(const QString &formName, QWidget *parent = nullptr);

// The dark palette of the pictures and of a dark desktop without its own style.
QPalette darkPalette();

// Core texts (UTF-8) for widgets.
inline QString qs(const std::string &text) { return QString::fromStdString(text); }
// Lines of the core (any container of std::string) as a Qt list.
template <class Lines> QStringList qsLines(const Lines &lines) {
    QStringList out;
    for (const std::string &line : lines) out << qs(line);
    return out;
}

// Classic file-dialog filters "Text|*.ext|Text|*.ext" as Qt filters "Text (*.ext);;Text (*.ext)".
QString qtFilter(const QString &classicFilter);
// Colours written &HBBGGRR (blue in the high byte).
QColor colorFromBgr(unsigned bgr);
unsigned bgrFromColor(const QColor &color);
// Window measures: twips <-> pixels at the screen's logical DPI (15 twips a pixel at 96 dpi).
int twipsToPixels(double twips, const QWidget *widget = nullptr);
double pixelsToTwips(int pixels, const QWidget *widget = nullptr);

} // namespace nomix::gui
