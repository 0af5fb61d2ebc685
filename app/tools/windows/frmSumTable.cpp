#include "frmSumTable.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include "enginejob.h"
#include "shell/binding.h"
#include "toolprint.h"

namespace nomix::gui {

static const char *const kSumFilter = "Summation files (*.sum)|*.sum|All Files (*.*)|*.*";

// A text field with its design name.
static QLineEdit *makeField(QWidget *parent, const char *name) {
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    return edit;
}

// A label whose mnemonic focuses the field.
static QLabel *buddyLabel(const QString &text, QWidget *buddy) {
    auto *label = new QLabel(text, buddy->parentWidget());
    label->setBuddy(buddy);
    return label;
}

// The five fields, calc, the grid of value, term and running sum, and the totals.
frmSumTable::frmSumTable(QWidget *parent) : DesignWindow(parent) {
    setObjectName(formName());
    setWindowTitle(QStringLiteral("Summation Table"));

    txtSumInput = makeField(this, "txtSumInput");
    txtVar = makeField(this, "txtVar");
    txtFrom = makeField(this, "txtFrom");
    txtTo = makeField(this, "txtTo");
    txtStep = makeField(this, "txtStep");
    btnCalculate = new QPushButton(QStringLiteral("&calc"), this);
    btnCalculate->setObjectName(QStringLiteral("btnCalculate"));
    btnCalculate->setAutoDefault(false);

    grdSumtable = new QTableWidget(0, 3, this);
    grdSumtable->setObjectName(QStringLiteral("grdSumtable"));
    grdSumtable->setHorizontalHeaderLabels({QStringLiteral("Count"), QStringLiteral("Value"),
                                            QStringLiteral("Cumulative")});
    grdSumtable->verticalHeader()->hide();
    grdSumtable->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + twipsToPixels(90, this));
    grdSumtable->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    grdSumtable->setEditTriggers(QAbstractItemView::NoEditTriggers);

    lblTotal = new QLabel(QStringLiteral("0"), this);
    lblTotal->setObjectName(QStringLiteral("lblTotal"));
    lblValue = new QLabel(QStringLiteral("0"), this);
    lblValue->setObjectName(QStringLiteral("lblValue"));
    for (QLabel *l : {lblTotal, lblValue}) {
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        QFont bold = l->font();
        bold.setBold(true);
        l->setFont(bold);
    }

    auto *layout = new QGridLayout(this);
    layout->addWidget(buddyLabel(QStringLiteral("&Expr:"), txtSumInput), 0, 0);
    layout->addWidget(txtSumInput, 0, 1, 1, 7);
    layout->addWidget(buddyLabel(QStringLiteral("&Var:"), txtVar), 1, 0);
    layout->addWidget(txtVar, 1, 1);
    layout->addWidget(buddyLabel(QStringLiteral("&From:"), txtFrom), 1, 2);
    layout->addWidget(txtFrom, 1, 3);
    layout->addWidget(buddyLabel(QStringLiteral("&To:"), txtTo), 1, 4);
    layout->addWidget(txtTo, 1, 5);
    layout->addWidget(buddyLabel(QStringLiteral("&Step:"), txtStep), 1, 6);
    layout->addWidget(txtStep, 1, 7);
    layout->addWidget(btnCalculate, 0, 8, 2, 1);
    layout->addWidget(grdSumtable, 2, 0, 1, 9);
    auto *totals = new QHBoxLayout;
    totals->addWidget(new QLabel(QStringLiteral("Cumulative:"), this));
    totals->addWidget(lblTotal, 1);
    totals->addWidget(new QLabel(QStringLiteral("Last Value:"), this));
    totals->addWidget(lblValue, 1);
    layout->addLayout(totals, 3, 0, 1, 9);
    layout->setRowStretch(2, 1);
    for (int c : {1, 3, 5, 7}) layout->setColumnStretch(c, 1);

    for (QLineEdit *edit : {txtSumInput, txtVar, txtFrom, txtTo, txtStep}) {
        edit->installEventFilter(this);
        connect(edit, &QLineEdit::textChanged, this, &frmSumTable::CalcBtnOnOff);
    }
    connect(btnCalculate, &QPushButton::clicked, this, &frmSumTable::btnCalculate_Click);

    txtStep->setText(QStringLiteral("1"));
    txtVar->setText(qs(engineSettings().independentVariable));
    CalcBtnOnOff();
    resize(twipsToPixels(7200, this), twipsToPixels(5400, this));
}

// calc is enabled exactly when all five fields hold text.
void frmSumTable::CalcBtnOnOff() {
    bool filled = true;
    for (QLineEdit *edit : {txtFrom, txtTo, txtStep, txtVar, txtSumInput}) filled = filled && !edit->text().isEmpty();
    btnCalculate->setEnabled(filled);
}

// The five input texts.
SumInputs frmSumTable::inputs() const {
    return {ss(txtSumInput->text()), ss(txtVar->text()), ss(txtFrom->text()), ss(txtTo->text()),
            ss(txtStep->text())};
}

// The five input texts put into the fields.
void frmSumTable::setInputs(const SumInputs &in) {
    txtSumInput->setText(qs(in.expression));
    txtVar->setText(qs(in.variable));
    txtFrom->setText(qs(in.from));
    txtTo->setText(qs(in.to));
    txtStep->setText(qs(in.step));
}

// calc: the table, the total and the last term; a failure keeps the previous totals.
void frmSumTable::btnCalculate_Click() {
    const SumInputs in = inputs();
    SumRun run;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool open = runWindowJob(this, [&] { run = runSummation(binding(), in, settingsInJob().numericFormat); });
    QApplication::restoreOverrideCursor();
    if (!open) return;
    if (run.state == SumRun::State::Refused) {
        showError(this, qs(run.message));
        return;
    }
    showRows(run.rows);
    if (run.state == SumRun::State::RuntimeError) showError(this, qs(run.message));
    if (run.state != SumRun::State::Done) return;
    lblTotal->setText(qs(run.total));
    lblValue->setText(qs(run.last));
}

// The grid filled with the table's rows.
void frmSumTable::showRows(const std::vector<SumRow> &rows) {
    grdSumtable->setRowCount(0);
    grdSumtable->setRowCount(int(rows.size()));
    for (int r = 0; r < int(rows.size()); ++r) {
        const SumRow &row = rows[size_t(r)];
        const std::string *cells[3] = {&row.value, &row.term, &row.sum};
        for (int c = 0; c < 3; ++c) {
            auto *item = new QTableWidgetItem(qs(*cells[c]));
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            grdSumtable->setItem(r, c, item);
        }
    }
}

// Enter walks Expr -> From -> To -> Step -> Var, and in Var runs the table.
bool frmSumTable::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() != QEvent::KeyPress) return DesignWindow::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) return false;
    if (watched == txtSumInput) txtFrom->setFocus();
    else if (watched == txtFrom) txtTo->setFocus();
    else if (watched == txtTo) txtStep->setFocus();
    else if (watched == txtStep) txtVar->setFocus();
    else if (watched == txtVar) btnCalculate_Click();
    else return false;
    return true;
}

QString frmSumTable::openFilter() const { return qtFilter(QString::fromLatin1(kSumFilter)); }

// Open Summation: the five input texts of a ".sum" file.
bool frmSumTable::openFile(const QString &path) {
    SumInputs in;
    if (loadSumFile(ss(path), in).state != ReadReport::State::Loaded) {
        showError(this, path + QStringLiteral(" could not be read."));
        return false;
    }
    setInputs(in);
    return true;
}

// Save Summation As: the five input texts.
bool frmSumTable::saveFile(const QString &path, const QString &) {
    SaveOutcome outcome = saveSumFile(ss(path), inputs());
    if (!outcome.ok) showError(this, qs(outcome.error));
    return outcome.ok;
}

// Print Summation: the inputs, the table and the totals.
void frmSumTable::printPage(QPainter &painter, const QRect &page) {
    const SumInputs in = inputs();
    QStringList lines{QStringLiteral("Expr: ") + qs(in.expression),
                      QStringLiteral("Var: %1\tFrom: %2\tTo: %3\tStep: %4")
                          .arg(qs(in.variable), qs(in.from), qs(in.to), qs(in.step)),
                      QString(), QStringLiteral("Count\tValue\tCumulative")};
    lines << gridLines(*grdSumtable, 3) << QString()
          << QStringLiteral("Cumulative: %1\tLast Value: %2").arg(lblTotal->text(), lblValue->text());
    paintTextPage(painter, page, QStringLiteral("Summation Table"), lines);
}

// The five input texts in field order (the grid is computed again, not kept).
QStringList frmSumTable::sessionRecords() { return qsLines(sumLines(inputs())); }

// The five input texts back from "nomix.tmp".
void frmSumTable::restoreSession(RecordReader &records) {
    std::vector<std::string> lines;
    for (int i = 0; i < 5; ++i) lines.push_back(ss(records.take()));
    setInputs(sumInputsFromLines(lines));
}

// SUMEQ, SUMFROM and SUMTO.
QWidget *frmSumTable::scriptControl(const QString &name, int) {
    if (name == QLatin1String("SUMEQ")) return txtSumInput;
    if (name == QLatin1String("SUMFROM")) return txtFrom;
    if (name == QLatin1String("SUMTO")) return txtTo;
    return nullptr;
}

// The sum of 1/n^2 for n from 1 to 10.
void frmSumTable::showSample(int) {
    setInputs({"1/n^2", "n", "1", "10", "1"});
    btnCalculate_Click();
}

} // namespace nomix::gui
