#include "frmPlot.h"
#include "designwindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QSaveFile>
#include <QTimer>

#include <cmath>

#include "frmGraph.h"
#include "frmGraphOptions.h"
#include "enginejob.h"
#include "graphwindows.h"
#include "tools/textfile.h"

namespace nomix::gui {

namespace {

const char *const kDataFileFilter =
    "Coordinate data files (*.dat)|*.dat|Picture files (*.bmp;*.png;*.jpg;*.jpeg;*.gif;*.svg)|"
    "*.bmp;*.png;*.jpg;*.jpeg;*.gif;*.svg|All Files (*.*)|*.*";

// The equation field shows the curve's colour on paper white in every palette.
void colourEquation(QLineEdit *edit, int row, bool greyed) {
    QPalette p = edit->palette();
    p.setColor(QPalette::Text, colorFromBgr(equationColor(row)));
    p.setColor(QPalette::Base, greyed ? colorFromBgr(0xC0C0C0) : QColor(Qt::white));
    edit->setPalette(p);
}

} // namespace

// Headings, the five buttons and row 0 with the default type's template.
frmPlot::frmPlot(QWidget *parent) : DesignWindow(parent) {
    setObjectName(formName());
    setWindowTitle(QStringLiteral("Graph Equation List"));
    openWindows<frmPlot>().append(this);
    auto label = [this](const char *name, const char *text) {
        auto *l = new QLabel(QString::fromLatin1(text), this);
        l->setObjectName(QString::fromLatin1(name));
        return l;
    };
    lblEquation_ = label("lblEquation", "Equation");
    lblVar_ = label("lblVar", "Variable");
    lblFrom_ = label("lblFrom", "From");
    lblTo_ = label("lblTo", "To");
    auto button = [this](const char *name, const char *text, void (frmPlot::*handler)()) {
        auto *b = new QPushButton(QString::fromLatin1(text), this);
        b->setObjectName(QString::fromLatin1(name));
        connect(b, &QPushButton::clicked, this, handler);
        return b;
    };
    btnPlot_ = button("btnPlot", "&Plot", &frmPlot::btnPlot_Click);
    btnAddEntry_ = button("btnAddEntry", "&Next Equation", &frmPlot::btnAddEntry_Click);
    btnClear_ = button("btnClear", "&Clear All", &frmPlot::btnClear_Click);
    btnOptions_ = button("btnOptions", "&Options", &frmPlot::btnOptions_Click);
    btnHideDetails_ = button("btnHideDetails", "&Hide Details", &frmPlot::btnHideDetails_Click);
    btnPlot_->setDefault(false);
    btnPlot_->setAutoDefault(false);
    chooseDataFile_ = [this] {
        return QFileDialog::getOpenFileName(this, QStringLiteral("Open Graph"), QString(),
                                            qtFilter(QString::fromLatin1(kDataFileFilter)));
    };
    createRow(0);
    list_.clear(windowSettings(this).value_or(Settings{}));
    showRow(0, list_.rows()[0]);
    layoutWindow();
    resize(designSize_);
}

// Leaves the list of open set-up windows.
frmPlot::~frmPlot() {
    openWindows<frmPlot>().removeAll(this);
}

frmPlot *frmPlot::current() { return newestWindow<frmPlot>(); }

// Inside the main window the list opens at the top left of its client area.
void frmPlot::showEvent(QShowEvent *event) {
    DesignWindow::showEvent(event);
    if (placed_) return;
    placed_ = true;
    if (auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget())) sub->move(0, 0);
}

// ---------------------------------------------------------------------------
// Rows.

void frmPlot::createRow(int index) {
    RowControls r{};
    const QString n = QString::number(index);
    r.chkShow = new QCheckBox(this);
    r.chkShow->setObjectName(QStringLiteral("chkShow") + n);
    r.chkShow->setChecked(true);
    r.chkShow->setToolTip(QStringLiteral("Plot this equation"));
    r.cmbType = new QComboBox(this);
    r.cmbType->setObjectName(QStringLiteral("cmbType") + n);
    for (std::string_view name : kGraphTypeNames) r.cmbType->addItem(QString::fromLatin1(name.data(), qsizetype(name.size())));
    auto edit = [this, &n](const char *name) {
        auto *e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(name) + n);
        e->installEventFilter(this);
        return e;
    };
    r.txtEquation = edit("txtEquation");
    r.txtVar = edit("txtVar");
    r.txtFrom = edit("txtFrom");
    r.txtTo = edit("txtTo");
    r.cmbType->installEventFilter(this);
    colourEquation(r.txtEquation, index, false);
    // A type chosen by the user or set by a script fills in its template.
    connect(r.cmbType, &QComboBox::currentIndexChanged, this, [this, index] {
        if (!updating_) cmbType_Click(index);
    });
    connect(r.chkShow, &QCheckBox::toggled, this, [this, index](bool on) {
        if (detailsHidden_ && size_t(index) < rows_.size()) colourEquation(rows_[size_t(index)].txtEquation, index, !on);
    });
    rows_.push_back(r);
    for (QWidget *w : {static_cast<QWidget *>(r.chkShow), static_cast<QWidget *>(r.cmbType),
                       static_cast<QWidget *>(r.txtEquation), static_cast<QWidget *>(r.txtVar),
                       static_cast<QWidget *>(r.txtFrom), static_cast<QWidget *>(r.txtTo)})
        w->show();
}

// Removes the rows after `last`.
void frmPlot::destroyRowsAfter(int last) {
    while (static_cast<int>(rows_.size()) > last + 1) {
        RowControls r = rows_.back();
        rows_.pop_back();
        for (QWidget *w : {static_cast<QWidget *>(r.chkShow), static_cast<QWidget *>(r.cmbType),
                           static_cast<QWidget *>(r.txtEquation), static_cast<QWidget *>(r.txtVar),
                           static_cast<QWidget *>(r.txtFrom), static_cast<QWidget *>(r.txtTo)}) {
            // Gone at once for the eye and for lookups by name; deleted once
            // the event that destroyed it has been handled.
            w->hide();
            w->setObjectName(QString());
            w->deleteLater();
        }
    }
}

// Shows a row's texts without running the type change.
void frmPlot::showRow(int index, const EquationRow &row) {
    const RowControls &r = rows_.at(size_t(index));
    const bool was = updating_;
    updating_ = true;
    r.chkShow->setChecked(row.show);
    const int type = r.cmbType->findText(qs(row.type), Qt::MatchFixedString);
    r.cmbType->setCurrentIndex(type >= 0 ? type : 0);
    r.txtEquation->setText(qs(row.equation));
    r.txtEquation->setCursorPosition(0);  // the start of a long equation in view
    r.txtVar->setText(qs(row.variable));
    r.txtFrom->setText(qs(row.from));
    r.txtTo->setText(qs(row.to));
    updating_ = was;
}

// A row as its controls hold it.
EquationRow frmPlot::rowAt(int index) const {
    const RowControls &r = rows_.at(size_t(index));
    return {r.chkShow->isChecked(),
            r.cmbType->currentText().toStdString(),
            r.txtEquation->text().toStdString(),
            r.txtVar->text().toStdString(),
            r.txtFrom->text().toStdString(),
            r.txtTo->text().toStdString()};
}

// The list as the controls hold it now.
const EquationList &frmPlot::list() {
    EquationList fresh;
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (i == 0)
            fresh.row(0) = rowAt(0);
        else
            fresh.add(rowAt(int(i)));
    }
    list_ = fresh;
    return list_;
}

// Makes the rows match the list, then lays the window out.
void frmPlot::showList(const EquationList &list) {
    destroyRowsAfter(list.lastIndex());
    while (static_cast<int>(rows_.size()) <= list.lastIndex()) createRow(static_cast<int>(rows_.size()));
    for (int i = 0; i <= list.lastIndex(); ++i) showRow(i, list.rows()[size_t(i)]);
    list_ = list;
    layoutWindow();
}

// Activates the frame inside the main window, else the window.
void frmPlot::activate() {
    auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget());
    if (sub && sub->mdiArea())
        sub->mdiArea()->setActiveSubWindow(sub);
    else
        activateWindow();
}

// The failing row's equation gets the focus (the error exit).
void frmPlot::focusEquation(int row) {
    if (row < 0 || size_t(row) >= rows_.size()) return;
    activate();
    rows_[size_t(row)].txtEquation->setFocus();
}

// ---------------------------------------------------------------------------
// Geometry: columns and rows in twips, widened where a control needs more.

int frmPlot::rowTop(int index) const {
    const int pitch = std::max(twipsToPixels(360, this), rows_[0].txtEquation->sizeHint().height() + 3);
    return lblEquation_->sizeHint().height() + 8 + pitch * index;
}

// Places the columns and the buttons for the rows and the details state, and
// sizes the window: 1935 + 360 twips a row high, 6255 or 2715 twips wide.
void frmPlot::layoutWindow() {
    auto px = [this](int twips) { return twipsToPixels(twips, this); };
    const int gap = 4;
    const int chkX = 6, cmbX = chkX + rows_[0].chkShow->sizeHint().width() + gap;
    const int cmbW = rows_[0].cmbType->sizeHint().width();
    const int eqX = detailsHidden_ ? 6 : std::max(px(1800), cmbX + cmbW + gap + 2);
    const int eqW = px(2880), varW = std::max(px(660), lblVar_->sizeHint().width() + 6), rangeW = px(840);
    const int varX = eqX + eqW + gap, fromX = varX + varW + gap, toX = fromX + rangeW + gap;
    const int headY = 4;
    lblEquation_->move(eqX + 2, headY);
    lblVar_->move(varX + 2, headY);
    lblFrom_->move(fromX + 2, headY);
    lblTo_->move(toX + 2, headY);
    for (QLabel *l : {lblEquation_, lblVar_, lblFrom_, lblTo_}) l->adjustSize();
    for (size_t i = 0; i < rows_.size(); ++i) {
        const RowControls &r = rows_[i];
        const int top = rowTop(int(i));
        const int h = r.txtEquation->sizeHint().height();
        r.chkShow->setGeometry(chkX, top, r.chkShow->sizeHint().width(), h);
        r.cmbType->setGeometry(cmbX, top, cmbW, h);
        r.txtEquation->setGeometry(eqX, top, eqW, h);
        r.txtVar->setGeometry(varX, top, varW, h);
        r.txtFrom->setGeometry(fromX, top, rangeW, h);
        r.txtTo->setGeometry(toX, top, rangeW, h);
        r.chkShow->setVisible(!detailsHidden_);
        r.cmbType->setVisible(!detailsHidden_);
        colourEquation(r.txtEquation, int(i), detailsHidden_ && !r.chkShow->isChecked());
    }
    const int last = static_cast<int>(rows_.size()) - 1;
    const int buttonsY = rowTop(last) + std::max(px(480), rowTop(1) - rowTop(0) + 8);
    int x = 6;
    for (QPushButton *b : {btnPlot_, btnAddEntry_, btnClear_, btnOptions_, btnHideDetails_}) {
        b->adjustSize();
        b->move(x, buttonsY);
        x += b->width() + gap;
    }
    const int height = buttonsY + btnPlot_->height() + 8;
    const int fullWidth = std::max({px(6255), toX + rangeW + 8, x + 4});
    const int narrowWidth =
        std::max({px(2715), eqX + eqW + 8, 6 + btnPlot_->width() + gap + btnAddEntry_->width() + 8});
    designSize_ = QSize(detailsHidden_ ? narrowWidth : fullWidth, height);
    // With the details hidden only the equations and what fits beside them show.
    std::vector<QWidget *> beside{lblVar_, lblFrom_, lblTo_, btnClear_, btnOptions_, btnHideDetails_};
    for (const RowControls &r : rows_) beside.insert(beside.end(), {r.txtVar, r.txtFrom, r.txtTo});
    for (QWidget *w : beside) w->setVisible(!detailsHidden_ || w->geometry().right() < narrowWidth);
    if (isMinimized() || isMaximized()) return;
    resize(designSize_);
    if (auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget())) sub->adjustSize();
}

// ---------------------------------------------------------------------------
// Handlers.

// The template comes from the settings (the parameter's name and range).
void frmPlot::applyTypeToRow(int row, GraphType type, const QString &dataFile) {
    const std::optional<Settings> settings = windowSettings(this);
    if (!settings || size_t(row) >= rows_.size()) return;
    EquationRow r = rowAt(row);
    applyType(r, type, *settings, dataFile.toStdString());
    showRow(row, r);
    QLineEdit *eq = rows_[size_t(row)].txtEquation;
    eq->setCursorPosition(typeTemplate(type, *settings, dataFile.toStdString()).caret);
    eq->setFocus();
}

// The type change: a "Data File" row asks for its file first.
void frmPlot::cmbType_Click(int row) {
    if (row < 0 || size_t(row) >= rows_.size()) return;
    const GraphType type = graphTypeNamed(rows_[size_t(row)].cmbType->currentText().toStdString())
                               .value_or(GraphType::Cartesian);
    QString file;
    if (type == GraphType::DataFile && chooseDataFile_) file = chooseDataFile_();
    applyTypeToRow(row, type, file);
}

// Shows the details again, or adds a row in the default type (16 at most).
void frmPlot::btnAddEntry_Click() {
    if (detailsHidden_) {
        detailsHidden_ = false;
        btnAddEntry_->setText(QStringLiteral("&Next Equation"));
        layoutWindow();
        return;
    }
    if (static_cast<int>(rows_.size()) > kMaxEquationIndex) return;
    const std::optional<Settings> settings = windowSettings(this);
    if (!settings) return;
    const int n = static_cast<int>(rows_.size());  // again: events ran while the job waited
    if (n > kMaxEquationIndex) return;
    createRow(n);
    const std::string type = settings->defaultGraph;
    updating_ = true;
    const int index = rows_[size_t(n)].cmbType->findText(qs(type), Qt::MatchFixedString);
    rows_[size_t(n)].cmbType->setCurrentIndex(std::max(0, index));
    updating_ = false;
    layoutWindow();
    cmbType_Click(n);
}

// Row 0 alone, checked, with the default type's template.
void frmPlot::btnClear_Click() {
    const std::optional<Settings> settings = windowSettings(this);
    if (!settings) return;
    destroyRowsAfter(0);
    EquationList fresh;
    fresh.clear(*settings);
    showRow(0, fresh.rows()[0]);
    list_ = fresh;
    layoutWindow();
    const GraphType type = graphTypeNamed(fresh.rows()[0].type).value_or(GraphType::Cartesian);
    if (type == GraphType::DataFile)
        cmbType_Click(0);
    else
        applyTypeToRow(0, type, {});
}

void frmPlot::btnOptions_Click() { openDesignWindow(QStringLiteral("frmGraphOptions")); }

// Only the equations show; a row not shown is greyed.
void frmPlot::btnHideDetails_Click() {
    detailsHidden_ = true;
    btnAddEntry_->setText(QStringLiteral("&Details ==>"));
    layoutWindow();
}

// A pass that failed elsewhere (a file opened in the graph window, say) leaves
// LocalError set; Plot is the user's way to try again, so it clears it first too.
void frmPlot::btnPlot_Click() {
    localError_ = 0;
    btnHideDetails_Click();
    auto *graph = qobject_cast<frmGraph *>(openDesignWindow(QStringLiteral("frmGraph")));
    if (graph) {
        graph->btnRefresh_Click();
    }
    localError_ = 0;
    activate();
}

// Enter: a parametric equation's caret first goes to its end (to type g after
// "y="); otherwise it moves along the row and, at its end, adds a row.
bool frmPlot::enterPressed(QObject *watched) {
    for (size_t i = 0; i < rows_.size(); ++i) {
        const RowControls &r = rows_[i];
        if (watched == r.cmbType) {
            cmbType_Click(int(i));
        } else if (watched == r.txtEquation) {
            const bool parametric = r.cmbType->currentText() == QLatin1String("Parametric");
            if (parametric && r.txtEquation->cursorPosition() < r.txtEquation->text().size())
                r.txtEquation->end(false);
            else
                btnAddEntry_Click();
        } else if (watched == r.txtVar) {
            r.txtFrom->setFocus();
        } else if (watched == r.txtFrom) {
            r.txtTo->setFocus();
        } else if (watched == r.txtTo) {
            btnAddEntry_Click();
        } else {
            continue;
        }
        return true;
    }
    return false;
}

// Enter in a row's fields and type list is handled and consumed.
bool frmPlot::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && enterPressed(watched)) return true;
    }
    return DesignWindow::eventFilter(watched, event);
}

// Closing clears the list and closes the graph window with it.
void frmPlot::closeEvent(QCloseEvent *event) {
    // Cleared without asking for a data file, even when that is the default type.
    const std::optional<Settings> settings = windowSettings(this);
    if (!settings) return;
    EquationList cleared;
    cleared.clear(*settings);
    showList(cleared);
    if (frmGraph *graph = frmGraph::current()) graph->closeWindow();
    DesignWindow::closeEvent(event);
}

// ---------------------------------------------------------------------------
// Files, printing, sessions, scripts.

QString frmPlot::openFilter() const {
    return qtFilter(QStringLiteral("Graph Definitions (*.gra)|*.gra|All Files (*.*)|*.*"));
}

// Reads a ".gra" file: the list shown, the options stored (as Ok would).
bool frmPlot::openFile(const QString &path) {
    std::string bytes;
    const ReadReport report = readToolFile(path.toStdString(), bytes);
    if (report.state != ReadReport::State::Loaded) {
        showError(report.state == ReadReport::State::Missing ? QStringLiteral("File not found")
                                                                        : qs(report.message));
        return false;
    }
    // The options are stored where the engine runs; the list is shown afterwards.
    const std::string text = decodeFileText(bytes);
    EquationList fresh;
    const bool open = runWindowJob(this, [&] {
        GraphOptionsFields options = GraphOptionsFields::from(graphSettings());
        readGraFile(text, fresh, options);
        options.applyTo(graphSettings());
    });
    if (!open) return false;
    showList(fresh);
    if (auto *open = frmGraphOptions::current()) open->showSettings();
    return true;
}

// Writes the list and the current options atomically.
bool frmPlot::saveFile(const QString &path, const QString &) {
    const std::optional<Settings> settings = windowSettings(this);
    if (!settings) return false;
    return saveAtomically(path, QByteArray::fromStdString(graFileText(list(), GraphOptionsFields::from(*settings))),
                          QStringLiteral("graph list"));
}

// The list on paper: each equation with its range, in its colour.
void frmPlot::printPage(QPainter &painter, const QRect &page) {
    const QFontMetrics metrics(painter.font(), painter.device());
    int y = page.top() + metrics.ascent();
    const EquationList &l = list();
    for (int i = 0; i <= l.lastIndex(); ++i) {
        const EquationRow &r = l.rows()[size_t(i)];
        QString line = qs(r.equation);
        if (!r.from.empty()) line += QStringLiteral(", ") + qs(r.from) + QStringLiteral(", ") + qs(r.to);
        if (!r.show) line += QStringLiteral("   (not shown)");
        painter.setPen(colorFromBgr(equationColor(i)));
        painter.drawText(page.left(), y, line);
        y += metrics.lineSpacing();
    }
}

// The list's records (the last index first).
QStringList frmPlot::sessionRecords() { return qsLines(list().records()); }

// The list back from its session records.
void frmPlot::restoreSession(RecordReader &records) {
    LineCursor cursor(records.takeRest());
    EquationList restored;
    restored.restore(cursor);
    showList(restored);
}

// CLEARPLOTEQS, NEXT, PLOT: the buttons; GRAPHTYPE, PLOTEQ, PLOTFROM, PLOTTO
// with a row index (none means row 0).
QWidget *frmPlot::scriptControl(const QString &name, int index) {
    const QString n = name.toUpper();
    if (n == QLatin1String("CLEARPLOTEQS")) return btnClear_;
    if (n == QLatin1String("NEXT")) return btnAddEntry_;
    if (n == QLatin1String("PLOT")) return btnPlot_;
    const int row = index < 0 ? 0 : index;
    if (size_t(row) >= rows_.size()) return nullptr;
    const RowControls &r = rows_[size_t(row)];
    if (n == QLatin1String("GRAPHTYPE")) return r.cmbType;
    if (n == QLatin1String("PLOTEQ")) return r.txtEquation;
    if (n == QLatin1String("PLOTFROM")) return r.txtFrom;
    if (n == QLatin1String("PLOTTO")) return r.txtTo;
    return nullptr;
}

// A list with one row of each kind, details shown.
void frmPlot::showSample(int) {
    EquationList sample;
    sample.row(0) = {true, "Cartesian", "y=3*sin(x)", "x", "", ""};
    sample.add({true, "Polar", "r=4*sin(3*t)", "t", "0", "2*pi"});
    sample.add({true, "Parametric", "x=6*cos(3*t), y=5*sin(2*t)", "t", "0", "2*pi"});
    sample.add({false, "3D Surface", "f(x,z)=2*sin(x)*cos(z)", "x", "-5", "5"});
    detailsHidden_ = false;
    btnAddEntry_->setText(QStringLiteral("&Next Equation"));
    showList(sample);
}

// The lists of the graph window's samples: a curve of each kind (the last
// from a data file), details hidden as after Plot.
void frmPlot::showGraphSample(int index) {
    EquationList sample;
    switch (index) {
    case 0: sample.row(0) = {true, "Cartesian", "y=3*sin(x)", "x", "", ""}; break;
    case 1: sample.row(0) = {true, "Polar", "r=5*sin(3*t)", "t", "0", "3.1416"}; break;
    case 2: sample.row(0) = {true, "Parametric", "x=8*cos(3*t), y=6*sin(2*t)", "t", "0", "6.2832"}; break;
    case 3: sample.row(0) = {true, "3D Surface", "f(x,z)=2*sin(x)*cos(z)", "x", "-5", "5"}; break;
    default: {
        const QString file = QDir::temp().filePath(QStringLiteral("nomix-sample.dat"));
        QSaveFile out(file);
        if (out.open(QIODevice::WriteOnly)) {
            for (int i = 0; i <= 200; ++i) {
                const double x = -10 + i * 0.1;
                out.write(QStringLiteral("%1, %2\r\n").arg(x).arg(6 * std::exp(-x * x / 30) * std::cos(2 * x)).toLatin1());
            }
            out.commit();
        }
        sample.row(0) = {true, "Data File", "File=" + file.toStdString(), "", "", ""};
    }
    }
    showList(sample);
    btnHideDetails_Click();
}

} // namespace nomix::gui
