#include "frmGraphOptions.h"
#include "designwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPainter>
#include <QPointer>
#include <QPushButton>

#include "frmPlot.h"
#include "enginejob.h"
#include "graphwindows.h"

namespace nomix::gui {

// The fields in a grid with their labels, Ok and Cancel below; filled from the settings.
frmGraphOptions::frmGraphOptions(QWidget *parent) : DesignWindow(parent) {
    openWindows<frmGraphOptions>().append(this);
    setObjectName(formName());
    setWindowTitle(QStringLiteral("Graph Options"));
    auto edit = [this](const char *name) {
        auto *e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        return e;
    };
    txtGraphTitle_ = edit("txtGraphTitle");
    txtXLabel_ = edit("txtXLabel");
    txtYLabel_ = edit("txtYLabel");
    txtXmin_ = edit("txtXmin");
    txtXmax_ = edit("txtXmax");
    txtYmin_ = edit("txtYmin");
    txtYmax_ = edit("txtYmax");
    txtTMin_ = edit("txtTMin");
    txtTMax_ = edit("txtTMax");
    txtTheta_ = edit("txtTheta");
    txtPrecision_ = edit("txtPrecision");
    txtPrecision_->setToolTip(QStringLiteral("Points drawn per unit of the variable"));
    cmbGraphType_ = new QComboBox(this);
    cmbGraphType_->setObjectName(QStringLiteral("cmbGraphType"));
    for (std::string_view name : kGraphTypeNames)
        cmbGraphType_->addItem(QString::fromLatin1(name.data(), qsizetype(name.size())));
    auto check = [this](const char *name, const char *text) {
        auto *c = new QCheckBox(QString::fromLatin1(text), this);
        c->setObjectName(QString::fromLatin1(name));
        return c;
    };
    chkGrid_ = check("chkGrid", "Display Grid");
    chkNumbered_ = check("chkNumbered", "Numbered Axis");
    chkConnect_ = check("chkConnect", "Connect");
    btnOk_ = new QPushButton(QStringLiteral("&Ok"), this);
    btnOk_->setObjectName(QStringLiteral("btnOk"));
    btnOk_->setDefault(true);
    btnCancel_ = new QPushButton(QStringLiteral("&Cancel"), this);
    btnCancel_->setObjectName(QStringLiteral("btnCancel"));
    connect(btnOk_, &QPushButton::clicked, this, &frmGraphOptions::btnOk_Click);
    connect(btnCancel_, &QPushButton::clicked, this, &frmGraphOptions::btnCancel_Click);

    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(8);
    int row = 0;
    auto label = [&](const char *text, QWidget *buddy, int r, int c) {
        auto *l = new QLabel(QString::fromLatin1(text), this);
        l->setBuddy(buddy);
        grid->addWidget(l, r, c);
    };
    for (auto [text, field] : {std::pair{"Graph Title:", txtGraphTitle_}, std::pair{"X-Axis Label:", txtXLabel_},
                               std::pair{"Y-Axis Label:", txtYLabel_}}) {
        label(text, field, row, 0);
        grid->addWidget(field, row++, 1, 1, 3);
    }
    for (auto [text, lo, hi] : {std::tuple{"Min/Max X:", txtXmin_, txtXmax_}, std::tuple{"Min/Max Y:", txtYmin_, txtYmax_},
                                std::tuple{"Min/Max Theta:", txtTMin_, txtTMax_}}) {
        label(text, lo, row, 0);
        grid->addWidget(lo, row, 1);
        grid->addWidget(hi, row++, 2, 1, 2);
    }
    label("Theta:", txtTheta_, row, 0);
    grid->addWidget(txtTheta_, row, 1);
    label("Precision:", txtPrecision_, row, 2);
    grid->addWidget(txtPrecision_, row++, 3);
    label("Default Graph Type:", cmbGraphType_, row, 0);
    grid->addWidget(cmbGraphType_, row++, 1, 1, 2);
    auto *checks = new QHBoxLayout;
    for (QCheckBox *c : {chkGrid_, chkNumbered_, chkConnect_}) checks->addWidget(c);
    checks->addStretch();
    grid->addLayout(checks, row++, 0, 1, 4);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOk_);
    buttons->addWidget(btnCancel_);
    auto *outer = new QVBoxLayout(this);
    outer->addLayout(grid);
    outer->addSpacing(6);
    outer->addLayout(buttons);
    showSettings();
    resize(std::max(sizeHint().width(), twipsToPixels(5400, this)), sizeHint().height());
}

// Leaves the list of open options windows.
frmGraphOptions::~frmGraphOptions() {
    openWindows<frmGraphOptions>().removeAll(this);
}

frmGraphOptions *frmGraphOptions::current() { return newestWindow<frmGraphOptions>(); }

// The settings are read where the engine runs; the fields filled afterwards.
void frmGraphOptions::showSettings() {
    if (const std::optional<Settings> settings = windowSettings(this))
        setFields(GraphOptionsFields::from(*settings));
}

// The fields as typed.
GraphOptionsFields frmGraphOptions::fields() const {
    GraphOptionsFields f;
    f.title = txtGraphTitle_->text().toStdString();
    f.xLabel = txtXLabel_->text().toStdString();
    f.yLabel = txtYLabel_->text().toStdString();
    f.xMin = txtXmin_->text().toStdString();
    f.xMax = txtXmax_->text().toStdString();
    f.yMin = txtYmin_->text().toStdString();
    f.yMax = txtYmax_->text().toStdString();
    f.tMin = txtTMin_->text().toStdString();
    f.tMax = txtTMax_->text().toStdString();
    f.theta = txtTheta_->text().toStdString();
    f.precision = txtPrecision_->text().toStdString();
    f.graphType = cmbGraphType_->currentText().toStdString();
    f.grid = chkGrid_->isChecked();
    f.numbered = chkNumbered_->isChecked();
    f.connect = chkConnect_->isChecked();
    return f;
}

// Shows the fields.
void frmGraphOptions::setFields(const GraphOptionsFields &f) {
    txtGraphTitle_->setText(qs(f.title));
    txtXLabel_->setText(qs(f.xLabel));
    txtYLabel_->setText(qs(f.yLabel));
    txtXmin_->setText(qs(f.xMin));
    txtXmax_->setText(qs(f.xMax));
    txtYmin_->setText(qs(f.yMin));
    txtYmax_->setText(qs(f.yMax));
    txtTMin_->setText(qs(f.tMin));
    txtTMax_->setText(qs(f.tMax));
    txtTheta_->setText(qs(f.theta));
    txtPrecision_->setText(qs(f.precision));
    const int type = cmbGraphType_->findText(qs(f.graphType), Qt::MatchFixedString);
    cmbGraphType_->setCurrentIndex(type >= 0 ? type : 0);
    chkGrid_->setChecked(f.grid);
    chkNumbered_->setChecked(f.numbered);
    chkConnect_->setChecked(f.connect);
}

// Closes the frame inside the main window, else the window.
void frmGraphOptions::closeWindow() {
    if (auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget()))
        sub->close();
    else
        close();
}

// Stores the fields (a precision that is not above 0 becomes "1") and closes.
// The graph keeps its picture until the next refresh or Plot.
void frmGraphOptions::btnOk_Click() {
    GraphOptionsFields f = fields();
    if (!runWindowJob(this, [&f] { f.applyTo(graphSettings()); })) return;
    txtPrecision_->setText(qs(f.precision));
    closeWindow();
}

void frmGraphOptions::btnCancel_Click() { closeWindow(); }

// ---------------------------------------------------------------------------
// ".gra" files hold the equation list and these options: the plot set-up
// window reads and writes them; here the options are the ones in the fields.

QString frmGraphOptions::openFilter() const {
    return qtFilter(QStringLiteral("Graph List/Options (*.gra)|*.gra|All Files (*.*)|*.*"));
}

// The set-up window reads the file (list and options).
bool frmGraphOptions::openFile(const QString &path) {
    auto *list = frmPlot::current();
    if (!list) list = qobject_cast<frmPlot *>(openDesignWindow(QStringLiteral("frmPlot")));
    return list && list->openFile(path);
}

// Writes the list and the options as these fields hold them, atomically.
bool frmGraphOptions::saveFile(const QString &path, const QString &) {
    EquationList fallback;
    const EquationList &rows = frmPlot::current() ? frmPlot::current()->list() : fallback;
    return saveAtomically(path, QByteArray::fromStdString(graFileText(rows, fields())), QStringLiteral("graph list"));
}

// Prints the equation list.
void frmGraphOptions::printPage(QPainter &painter, const QRect &page) {
    if (frmPlot *list = frmPlot::current()) list->printPage(painter, page);
}

// The fields in control order.
QStringList frmGraphOptions::sessionRecords() { return qsLines(fields().records()); }

// The fields back from their session records.
void frmGraphOptions::restoreSession(RecordReader &records) {
    LineCursor cursor(records.takeRest());
    GraphOptionsFields f = fields();
    f.restore(cursor);
    setFields(f);
}

} // namespace nomix::gui
