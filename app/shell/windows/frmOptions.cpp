#include "frmOptions.h"
#include "designwindow.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

#include "MDInomix.h"
#include "enginethread.h"
#include "shell/bootstrap.h"
#include "shell/settings.h"

namespace nomix::gui {

namespace {

EngineThread &engine() { return *EngineThread::instance(); }
const QStringList kFormats = {
    QStringLiteral("General"), QStringLiteral("Currency"), QStringLiteral("Fixed"), QStringLiteral("Standard"),
    QStringLiteral("Percent"), QStringLiteral("Scientific"), QStringLiteral("Yes/No"), QStringLiteral("True/False"),
    QStringLiteral("On/Off"), QStringLiteral("User defined")};

} // namespace

QStringList unitCategories(const QString &path) {
    QFile file(path);
    QStringList out;
    if (!file.open(QIODevice::ReadOnly)) return out;
    while (!file.atEnd()) {
        QString line = QString::fromLatin1(file.readLine(64 * 1024));
        if (!line.startsWith(QLatin1Char('['))) continue;
        qsizetype end = line.indexOf(QLatin1Char(']'));
        out << (end < 0 ? line.mid(1).trimmed() : line.mid(1, end - 1));
    }
    return out;
}

frmOptions::frmOptions(MDInomix *frame, QWidget *parent) : DesignWindow(parent), frame_(frame) {
    setObjectName(formName());
    setWindowTitle(QStringLiteral("Miscellaneous Options"));
    auto line = [this](QLineEdit *&e, const char *name, const QString &tip) {
        e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        e->setToolTip(tip);
    };
    line(txtInputRecall, "txtInputRecall", QStringLiteral("How many inputs the recall list keeps (an expression)"));
    line(txtOutputRecall, "txtOutputRecall", QStringLiteral("How many lines the answer list keeps (an expression)"));
    line(txtLast, "txtLast", QStringLiteral("The variable that holds the last answer"));
    line(txtVar, "txtVar", QStringLiteral("The variable of the solver, the integrator and the plots"));
    line(txtFrom, "txtFrom", QStringLiteral("Lower bound of the solver's search"));
    line(txtTo, "txtTo", QStringLiteral("Upper bound of the solver's search"));
    cmbUnitCategory = new QComboBox(this);
    cmbUnitCategory->setObjectName(QStringLiteral("cmbUnitCategory"));
    cmbUnitCategory->setEditable(true);
    cmbUnitCategory->setInsertPolicy(QComboBox::NoInsert);
    for (int i = 0; i < 2; ++i) {
        cmbFormat[size_t(i)] = new QComboBox(this);
        cmbFormat[size_t(i)]->setObjectName(QStringLiteral("cmbFormat%1").arg(i));
        cmbFormat[size_t(i)]->setEditable(true);
        cmbFormat[size_t(i)]->setInsertPolicy(QComboBox::NoInsert);
        cmbFormat[size_t(i)]->addItems(kFormats);
        QComboBox *box = cmbFormat[size_t(i)];
        connect(box, &QComboBox::activated, this, [box](int index) {
            if (box->itemText(index) == QLatin1String("User defined")) {
                box->setCurrentIndex(-1);
                box->clearEditText();
            }
        });
    }

    QList<QLabel *> labels;
    auto group = [this, &labels](const QString &title, std::initializer_list<std::pair<QString, QWidget *>> rows) {
        auto *g = new QGroupBox(title, this);
        auto *form = new QFormLayout(g);
        form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
        for (const auto &[text, field] : rows) {
            auto *label = new QLabel(text, g);
            label->setBuddy(field);
            labels << label;
            form->addRow(label, field);
        }
        return g;
    };
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(group(QStringLiteral("Recall"), {{QStringLiteral("&Input recall:"), txtInputRecall},
                                                       {QStringLiteral("&Output recall:"), txtOutputRecall},
                                                       {QStringLiteral("&Last answer variable:"), txtLast}}));
    layout->addWidget(group(QStringLiteral("Equation solver"), {{QStringLiteral("Independent &variable:"), txtVar},
                                                                {QStringLiteral("Find answers &from:"), txtFrom},
                                                                {QStringLiteral("&To:"), txtTo}}));
    layout->addWidget(group(QStringLiteral("Formats"), {{QStringLiteral("Unit &category:"), cmbUnitCategory},
                                                        {QStringLiteral("&Numeric format:"), cmbFormat[0]},
                                                        {QStringLiteral("A&dder format:"), cmbFormat[1]}}));
    // The three groups' fields line up in one column.
    int labelWidth = 0;
    for (QLabel *l : labels) labelWidth = std::max(labelWidth, l->sizeHint().width());
    for (QLabel *l : labels) l->setMinimumWidth(labelWidth);
    auto *buttons = new QDialogButtonBox(this);
    btnOK = buttons->addButton(QStringLiteral("&OK"), QDialogButtonBox::AcceptRole);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnApply = buttons->addButton(QStringLiteral("&Apply"), QDialogButtonBox::ApplyRole);
    btnApply->setObjectName(QStringLiteral("btnApply"));
    btnCancel = buttons->addButton(QStringLiteral("&Cancel"), QDialogButtonBox::RejectRole);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    layout->addWidget(buttons);
    layout->addStretch();
    connect(btnApply, &QPushButton::clicked, this, &frmOptions::btnApply_Click);
    connect(btnOK, &QPushButton::clicked, this, &frmOptions::btnOK_Click);
    connect(btnCancel, &QPushButton::clicked, this, &frmOptions::btnCancel_Click);
    cmbUnitCategory->addItems(unitCategories(QStringLiteral("nomix.cnv")));
    loadControls();
    resize(twipsToPixels(6000, this), sizeHint().height());
}

void frmOptions::loadControls() {
    Settings s;
    QPointer<frmOptions> alive(this);
    engine().run([&] {
        if (Application *a = currentApplication()) s = a->settings();
    });
    if (!alive) return;
    txtInputRecall->setText(qs(s.inputRecall));
    txtOutputRecall->setText(qs(s.outputRecall));
    txtLast->setText(qs(s.lastVariable));
    txtVar->setText(qs(s.independentVariable));
    txtFrom->setText(qs(s.eqFrom));
    txtTo->setText(qs(s.eqTo));
    cmbUnitCategory->setCurrentIndex(cmbUnitCategory->findText(qs(s.unitCategory)));
    cmbUnitCategory->setEditText(qs(s.unitCategory));
    cmbFormat[0]->setCurrentIndex(-1);
    cmbFormat[0]->setEditText(qs(s.numericFormat));
    cmbFormat[1]->setCurrentIndex(-1);
    cmbFormat[1]->setEditText(qs(s.adderFormat));
}

// Every setting takes its control's text; then the frame applies them all.
void frmOptions::btnApply_Click() {
    // A name the language cannot read would leave the answer without a variable.
    static const QRegularExpression name(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    if (!name.match(txtLast->text().trimmed()).hasMatch()) {
        QMessageBox::warning(this, QStringLiteral("Miscellaneous Options"),
                             QStringLiteral("The answer variable needs a name of letters, digits and \"_\"."));
        txtLast->setFocus();
        return;
    }
    auto text = [](const QLineEdit *e) { return e->text().trimmed().toStdString(); };
    std::string input = text(txtInputRecall), output = text(txtOutputRecall), last = text(txtLast);
    std::string var = text(txtVar), from = text(txtFrom), to = text(txtTo);
    std::string category = cmbUnitCategory->currentText().toStdString();
    std::string format = cmbFormat[0]->currentText().toStdString();
    std::string adder = cmbFormat[1]->currentText().toStdString();
    engine().run([&] {
        Application *a = currentApplication();
        if (!a) return;
        Settings &s = a->settings();
        s.inputRecall = input;
        s.outputRecall = output;
        s.lastVariable = last;
        s.independentVariable = var;
        s.eqFrom = from;
        s.eqTo = to;
        s.unitCategory = category;
        s.numericFormat = format;
        s.adderFormat = adder;
    });
    if (frame_) frame_->refreshOptions();
}

void frmOptions::btnOK_Click() {
    btnApply_Click();
    if (QMdiSubWindow *sub = qobject_cast<QMdiSubWindow *>(parentWidget())) sub->close();
    else close();
}

void frmOptions::btnCancel_Click() {
    if (QMdiSubWindow *sub = qobject_cast<QMdiSubWindow *>(parentWidget())) sub->close();
    else close();
}

QString frmOptions::openFilter() const {
    return qtFilter(QStringLiteral("Settings files (*.def)|*.def|All Files (*.*)|*.*"));
}

bool frmOptions::openFile(const QString &path) {
    SettingsLoad load;
    std::string file = path.toStdString();
    QPointer<frmOptions> alive(this);
    engine().run([&] {
        Application *a = currentApplication();
        if (!a) return;
        SettingsEngine e;
        e.evalDbl = [a](std::string_view t) { return a->binding().EvalDbl(t); };
        load = loadSettings(file, a->settings(), e);
    });
    if (!alive) return false;
    if (load.state != SettingsLoad::State::Loaded) {
        QMessageBox::warning(this, QStringLiteral("Nomix"), QStringLiteral("%1 could not be read.").arg(path));
        return false;
    }
    loadControls();
    if (frame_) frame_->refreshOptions();
    return true;
}

bool frmOptions::saveFile(const QString &path, const QString &) {
    btnApply_Click();
    SaveOutcome outcome;
    std::string file = path.toStdString();
    engine().run([&] {
        if (Application *a = currentApplication()) outcome = saveSettings(file, a->settings());
    });
    if (!outcome.ok)
        QMessageBox::warning(this, QStringLiteral("Nomix"), QStringLiteral("%1 was not saved: %2").arg(path, qs(outcome.error)));
    return outcome.ok;
}

QList<QWidget *> frmOptions::controlsInOrder() const {
    return {txtInputRecall, txtOutputRecall, txtLast, txtVar, txtFrom, txtTo, cmbUnitCategory, cmbFormat[0], cmbFormat[1]};
}

void frmOptions::printPage(QPainter &painter, const QRect &page) {
    const int lh = painter.fontMetrics().lineSpacing();
    int y = page.top() + painter.fontMetrics().ascent();
    painter.drawText(page.left(), y, windowTitle());
    y += 2 * lh;
    for (QWidget *w : controlsInOrder()) {
        QString text = qobject_cast<QLineEdit *>(w) ? static_cast<QLineEdit *>(w)->text()
                                                    : static_cast<QComboBox *>(w)->currentText();
        painter.drawText(page.left(), y, w->objectName() + QStringLiteral(": ") + text);
        y += lh;
    }
}

// The texts of the controls in control order.
QStringList frmOptions::sessionRecords() {
    QStringList out;
    for (QWidget *w : controlsInOrder())
        out << (qobject_cast<QLineEdit *>(w) ? static_cast<QLineEdit *>(w)->text()
                                             : static_cast<QComboBox *>(w)->currentText());
    return out;
}

void frmOptions::restoreSession(RecordReader &records) {
    for (QWidget *w : controlsInOrder()) {
        if (records.atEnd()) break;
        QString text = records.take();
        if (auto *e = qobject_cast<QLineEdit *>(w)) e->setText(text);
        else static_cast<QComboBox *>(w)->setEditText(text);
    }
}

} // namespace nomix::gui
