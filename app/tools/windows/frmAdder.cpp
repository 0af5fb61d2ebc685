#include "frmAdder.h"

#include <QEvent>
#include <QGridLayout>
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

static const char *const kAdderFilter = "Adder files (*.add)|*.add|All Files (*.*)|*.*";

// The tape grid, the value and comment fields, the buttons and the total.
frmAdder::frmAdder(QWidget *parent) : DesignWindow(parent) {
    setObjectName(formName());
    setWindowTitle(QStringLiteral("Adder"));

    grdAdder = new QTableWidget(0, 2, this);
    grdAdder->setObjectName(QStringLiteral("grdAdder"));
    grdAdder->setHorizontalHeaderLabels({QStringLiteral("Value"), QStringLiteral("Comment")});
    grdAdder->verticalHeader()->hide();
    grdAdder->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + twipsToPixels(90, this));
    grdAdder->horizontalHeader()->setStretchLastSection(true);
    // Both titles alike: the current cell's column is not singled out in bold.
    grdAdder->horizontalHeader()->setHighlightSections(false);
    grdAdder->setColumnWidth(0, twipsToPixels(2000, this));
    grdAdder->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdAdder->setSelectionMode(QAbstractItemView::SingleSelection);
    grdAdder->installEventFilter(this);

    txtValue = new QLineEdit(this);
    txtValue->setObjectName(QStringLiteral("txtValue"));
    txtComment = new QLineEdit(this);
    txtComment->setObjectName(QStringLiteral("txtComment"));
    txtValue->installEventFilter(this);
    txtComment->installEventFilter(this);

    lblTotal = new QLabel(QStringLiteral("0"), this);
    lblTotal->setObjectName(QStringLiteral("lblTotal"));
    lblTotal->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblTotal->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont bold = lblTotal->font();
    bold.setBold(true);
    lblTotal->setFont(bold);

    btnAdd = new QPushButton(QStringLiteral("+"), this);
    btnAdd->setObjectName(QStringLiteral("btnAdd"));
    btnRecalc = new QPushButton(QStringLiteral("&recalc"), this);
    btnRecalc->setObjectName(QStringLiteral("btnRecalc"));
    btnClear = new QPushButton(QStringLiteral("&clear"), this);
    btnClear->setObjectName(QStringLiteral("btnClear"));
    for (QPushButton *b : {btnAdd, btnRecalc, btnClear}) b->setAutoDefault(false);

    auto *layout = new QGridLayout(this);
    layout->addWidget(grdAdder, 0, 0, 1, 3);
    layout->addWidget(new QLabel(QStringLiteral("Value:"), this), 1, 0);
    layout->addWidget(txtValue, 1, 1);
    layout->addWidget(btnAdd, 1, 2);
    layout->addWidget(new QLabel(QStringLiteral("Comment:"), this), 2, 0);
    layout->addWidget(txtComment, 2, 1);
    layout->addWidget(btnRecalc, 2, 2);
    layout->addWidget(new QLabel(QStringLiteral("Total:"), this), 3, 0);
    layout->addWidget(lblTotal, 3, 1);
    layout->addWidget(btnClear, 3, 2);
    layout->setRowStretch(0, 1);
    layout->setColumnStretch(1, 1);

    connect(btnAdd, &QPushButton::clicked, this, &frmAdder::btnAdd_Click);
    connect(btnRecalc, &QPushButton::clicked, this, &frmAdder::btnRecalc_Click);
    connect(btnClear, &QPushButton::clicked, this, &frmAdder::btnClear_Click);
    connect(txtValue, &QLineEdit::returnPressed, this, &frmAdder::btnAdd_Click);
    connect(txtComment, &QLineEdit::returnPressed, this, &frmAdder::btnAdd_Click);
    connect(txtValue, &QLineEdit::textChanged, this, [this](const QString &text) {
        if (filling_) return;
        tape_.setValue(ss(text));
        if (QTableWidgetItem *item = grdAdder->item(int(tape_.current()), 0)) item->setText(text);
    });
    connect(txtComment, &QLineEdit::textChanged, this, [this](const QString &text) {
        if (filling_) return;
        tape_.setComment(ss(text));
        if (QTableWidgetItem *item = grdAdder->item(int(tape_.current()), 1)) item->setText(text);
    });
    // A row chosen by mouse or keys becomes the current entry.
    connect(grdAdder, &QTableWidget::currentCellChanged, this, [this](int row, int, int, int) {
        if (row >= 0 && size_t(row) != tape_.current()) grdAdder_Click(row);
    });
    showTape();
    resize(twipsToPixels(5200, this), twipsToPixels(4800, this));
}

QString frmAdder::openFilter() const { return qtFilter(QString::fromLatin1(kAdderFilter)); }

// The tape of the file replaces the window's tape; the total is recalculated.
bool frmAdder::openFile(const QString &path) {
    std::vector<AdderRow> rows;
    ReadReport report = loadAdderFile(ss(path), rows);
    if (report.state != ReadReport::State::Loaded) {
        showError(this, path + QStringLiteral(" could not be read."));
        return false;
    }
    tape_.setRows(std::move(rows));
    btnRecalc_Click();
    return true;
}

// Save Adder As: the tape, one row a line.
bool frmAdder::saveFile(const QString &path, const QString &) {
    SaveOutcome outcome = saveAdderFile(ss(path), tape_.rows());
    if (!outcome.ok) showError(this, qs(outcome.error));
    return outcome.ok;
}

// Print Adder: the tape and its total.
void frmAdder::printPage(QPainter &painter, const QRect &page) {
    QStringList lines = gridLines(*grdAdder, 2);
    lines << QString() << QStringLiteral("Total:\t") + lblTotal->text();
    paintTextPage(painter, page, QStringLiteral("Adder"), lines);
}

// One step of the tape (recalc, add, clear) where the engine runs, on a copy
// that replaces the window's tape afterwards; nullopt when the window was
// closed meanwhile.
std::optional<AdderTotal> frmAdder::runTape(TapeStep step) {
    AdderTape tape = tape_;
    AdderTotal total;
    if (!runWindowJob(this, [&] {
            Binding &b = binding();
            total = (tape.*step)(engineAdderEvaluator(b), adderFormatter(b, settingsInJob().adderFormat));
        }))
        return std::nullopt;
    tape_ = std::move(tape);
    return total;
}

// The total of the tape in the "Adder Format"; a failing entry becomes current instead.
QString frmAdder::Recalc() {
    const std::optional<AdderTotal> total = runTape(&AdderTape::recalc);
    if (!total) return QString();
    applyTotal(*total);
    return lblTotal->text();
}

// Shows a recalculation: the grid, the total, or the entry that failed.
void frmAdder::applyTotal(const AdderTotal &total) {
    showTape();
    if (total.state == AdderTotal::State::Ok) {
        lblTotal->setText(qs(total.text));
        return;
    }
    if (total.state == AdderTotal::State::Overflow) showError(this, QStringLiteral("Overflow"));
    showCurrentInFields();
    txtValue->setFocus();
}

// "+" (and Enter in either field): the total, then the next row to fill.
void frmAdder::btnAdd_Click() {
    const std::optional<AdderTotal> total = runTape(&AdderTape::add);
    if (!total) return;
    applyTotal(*total);
    if (total->state != AdderTotal::State::Ok) return;
    showTape();
    showCurrentInFields();
    txtValue->setFocus();
}

void frmAdder::btnRecalc_Click() { Recalc(); }

// "clear": only the free row remains and the total shows 0.
void frmAdder::btnClear_Click() {
    const std::optional<AdderTotal> total = runTape(&AdderTape::clear);
    if (!total) return;
    applyTotal(*total);
    showCurrentInFields();
}

// A grid row chosen: it becomes current and its texts go into the fields.
void frmAdder::grdAdder_Click(int row) {
    if (row < 0) return;
    tape_.select(size_t(row));
    showCurrentInFields();
}

// The grid rebuilt from the tape, the current row selected.
void frmAdder::showTape() {
    const std::vector<AdderRow> &rows = tape_.rows();
    QSignalBlocker block(grdAdder);
    grdAdder->setRowCount(int(rows.size()));
    for (int r = 0; r < int(rows.size()); ++r) {
        const AdderRow &row = rows[size_t(r)];
        grdAdder->setItem(r, 0, new QTableWidgetItem(qs(row.value)));
        grdAdder->setItem(r, 1, new QTableWidgetItem(qs(row.comment)));
        grdAdder->item(r, 0)->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    const int column = txtComment->hasFocus() ? 1 : 0;
    grdAdder->setCurrentCell(int(tape_.current()), column);
}

// The current row's texts in the fields, without copying them back into the tape.
void frmAdder::showCurrentInFields() {
    filling_ = true;
    txtValue->setText(qs(tape_.currentRow().value));
    txtComment->setText(qs(tape_.currentRow().comment));
    filling_ = false;
    grdAdder->setCurrentCell(int(tape_.current()), txtComment->hasFocus() ? 1 : 0);
}

// Grid keys (Ctrl+Delete, Insert) and the column that follows the focused field.
bool frmAdder::eventFilter(QObject *watched, QEvent *event) {
    if (watched == grdAdder && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Delete && key->modifiers().testFlag(Qt::ControlModifier)) {
            tape_.removeCurrent();
        } else if (key->key() == Qt::Key_Insert) {
            tape_.insertBeforeCurrent();
        } else {
            return false;
        }
        showTape();
        showCurrentInFields();
        return true;
    }
    if (event->type() == QEvent::FocusIn && (watched == txtValue || watched == txtComment))
        grdAdder->setCurrentCell(int(tape_.current()), watched == txtValue ? 0 : 1);
    return DesignWindow::eventFilter(watched, event);
}

// The fields, then the tape (its row count, then value and comment of each
// row joined by a tab), after the total has been brought up to date.
QStringList frmAdder::sessionRecords() {
    Recalc();
    QStringList records{txtValue->text(), txtComment->text()};
    const std::vector<std::string> lines = adderLines(tape_.rows());
    records << QString::number(lines.size());
    records << qsLines(lines);
    return records;
}

// The fields show the current row, which the tape itself decides, so only the
// tape is taken back; the total is recalculated from it.
void frmAdder::restoreSession(RecordReader &records) {
    records.take();
    records.take();
    const int count = records.takeCount(int(kMaxAdderRows));
    std::vector<std::string> lines;
    for (int i = 0; i < count && !records.atEnd(); ++i) lines.push_back(ss(records.take()));
    tape_.setRows(adderRowsFromLines(lines));
    Recalc();
    showCurrentInFields();
}

// ADDER is the value field, COMMENT the comment field.
QWidget *frmAdder::scriptControl(const QString &name, int) {
    if (name == QLatin1String("ADDER")) return txtValue;
    if (name == QLatin1String("COMMENT")) return txtComment;
    return nullptr;
}

// A short tape of amounts and formulas.
void frmAdder::showSample(int) {
    tape_.setRows({{"12.50", "Lunch"}, {"3*4.20", "Three coffees"}, {"-5", "Refund"},
                   {"1200/3", "Share of the rent"}, {"19.99", "Book"}});
    Recalc();
    showCurrentInFields();
}

} // namespace nomix::gui
