#include "frmConvertTable.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include "frmConvert.h"
#include "shell/host.h"
#include "toolprint.h"

namespace nomix::gui {

static const char *const kCnvFilter = "Conversions (*.cnv)|*.cnv|All Files (*.*)|*.*";
static const QString kNewCategory = QStringLiteral("{Create a new category}");
static const QString kNewCategoryPrompt = QStringLiteral("{Enter new category name here}");

// The category list, the grid of pairs, the pair's fields and the buttons; then "nomix.cnv".
frmConvertTable::frmConvertTable(QWidget *parent) : DesignWindow(parent) {
    setObjectName(formName());
    setWindowTitle(QStringLiteral("Conversion Definition Table"));

    cmbCategory = new QComboBox(this);
    cmbCategory->setObjectName(QStringLiteral("cmbCategory"));
    cmbCategory->installEventFilter(this);
    auto *categoryLabel = new QLabel(QStringLiteral("Unit &Category:"), this);
    categoryLabel->setBuddy(cmbCategory);

    grdConvertTable = new QTableWidget(0, 4, this);
    grdConvertTable->setObjectName(QStringLiteral("grdConvertTable"));
    grdConvertTable->setHorizontalHeaderLabels({QStringLiteral("Unit A"), QStringLiteral("Unit B"),
                                                QStringLiteral("A  ==>  B"), QStringLiteral("B  ==>  A")});
    grdConvertTable->verticalHeader()->hide();
    grdConvertTable->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + twipsToPixels(90, this));
    grdConvertTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    grdConvertTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdConvertTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdConvertTable->setSelectionMode(QAbstractItemView::SingleSelection);
    grdConvertTable->installEventFilter(this);

    auto field = [this](const char *name) {
        auto *edit = new QLineEdit(this);
        edit->setObjectName(QLatin1String(name));
        return edit;
    };
    txtUnitA = field("txtUnitA");
    txtUnitB = field("txtUnitB");
    txtFormula1 = field("txtFormula1");
    txtFormula2 = field("txtFormula2");
    txtFormula1->setPlaceholderText(QStringLiteral("x in unit A gives unit B, e.g. x*1000"));
    txtFormula2->setPlaceholderText(QStringLiteral("x in unit B gives unit A, e.g. x/1000"));

    auto button = [this](const QString &text, const char *name) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        return b;
    };
    btnAdd = button(QStringLiteral("&Ok"), "btnAdd");
    btnDelete = button(QStringLiteral("&Delete"), "btnDelete");
    btnSaveAll = button(QStringLiteral("&Save"), "btnSaveAll");
    cmbCancel = button(QStringLiteral("&Cancel"), "cmbCancel");

    auto *layout = new QGridLayout(this);
    layout->addWidget(categoryLabel, 0, 0);
    layout->addWidget(cmbCategory, 0, 1, 1, 3);
    layout->addWidget(grdConvertTable, 1, 0, 1, 4);
    layout->addWidget(new QLabel(QStringLiteral("Unit A:"), this), 2, 0);
    layout->addWidget(txtUnitA, 2, 1);
    layout->addWidget(new QLabel(QStringLiteral("Unit B:"), this), 2, 2);
    layout->addWidget(txtUnitB, 2, 3);
    layout->addWidget(new QLabel(QStringLiteral("A  ==>  B:"), this), 3, 0);
    layout->addWidget(txtFormula1, 3, 1);
    layout->addWidget(new QLabel(QStringLiteral("B  ==>  A:"), this), 3, 2);
    layout->addWidget(txtFormula2, 3, 3);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(btnAdd);
    buttons->addWidget(btnDelete);
    buttons->addStretch(1);
    buttons->addWidget(btnSaveAll);
    buttons->addWidget(cmbCancel);
    layout->addLayout(buttons, 4, 0, 1, 4);
    layout->setRowStretch(1, 1);
    layout->setColumnStretch(1, 1);
    layout->setColumnStretch(3, 1);

    connect(btnAdd, &QPushButton::clicked, this, &frmConvertTable::btnAdd_Click);
    connect(btnDelete, &QPushButton::clicked, this, &frmConvertTable::btnDelete_Click);
    connect(btnSaveAll, &QPushButton::clicked, this, &frmConvertTable::btnSaveAll_Click);
    connect(cmbCancel, &QPushButton::clicked, this, &frmConvertTable::cmbCancel_Click);
    connect(cmbCategory, &QComboBox::activated, this, &frmConvertTable::cmbCategory_Click);
    connect(grdConvertTable, &QTableWidget::currentCellChanged, this,
            [this](int row, int, int previous, int) {
                if (row != previous) grdConvertTable_Click(row);
            });
    for (QLineEdit *edit : {txtUnitA, txtUnitB, txtFormula1, txtFormula2})
        connect(edit, &QLineEdit::returnPressed, this, &frmConvertTable::btnAdd_Click);

    ConversionTable table;
    ReadReport report = nomix::LoadConversions(std::string(kConversionFile), table);
    fullyRead_ = report.complete();
    if (!report.message.empty()) showError(this, qs(report.message));
    editor_ = ConversionEditor(std::move(table));
    fillCategories(editor_.table().categories.empty() ? QString()
                                                      : qs(editor_.table().categories.front()));
    resize(twipsToPixels(9000, this), twipsToPixels(6000, this));
}

// The chosen category's index; -1 while a new name is being typed.
int frmConvertTable::category() const {
    if (cmbCategory->isEditable()) return -1;
    return editor_.table().findCategory(ss(cmbCategory->currentText()));
}

// "{Create a new category}" and the categories, with one of them chosen.
void frmConvertTable::fillCategories(const QString &select) {
    QSignalBlocker block(cmbCategory);
    cmbCategory->setEditable(false);
    cmbCategory->clear();
    cmbCategory->addItem(kNewCategory);
    for (const std::string &c : editor_.table().categories) cmbCategory->addItem(qs(c));
    const int at = cmbCategory->findText(select);
    cmbCategory->setCurrentIndex(at > 0 ? at : (cmbCategory->count() > 1 ? 1 : 0));
    showCategory();
}

// "{Create a new category}" turns the list into a field for the new name;
// Enter there (or Ok) takes it.
void frmConvertTable::cmbCategory_Click() {
    if (cmbCategory->currentIndex() == 0 && !cmbCategory->isEditable()) {
        cmbCategory->setEditable(true);
        cmbCategory->setEditText(kNewCategoryPrompt);
        cmbCategory->lineEdit()->selectAll();
        cmbCategory->setFocus();
        grdConvertTable->setRowCount(0);
        return;
    }
    showCategory();
}

// The grid shows the chosen category's pairs.
void frmConvertTable::showCategory() {
    const std::vector<size_t> entries = editor_.entriesOf(category());
    grdConvertTable->setRowCount(int(entries.size()));
    for (int r = 0; r < int(entries.size()); ++r) {
        const ConversionEntry &e = editor_.table().entries[entries[size_t(r)]];
        const std::string *cells[4] = {&e.unitA, &e.unitB, &e.formulaAB, &e.formulaBA};
        for (int c = 0; c < 4; ++c) grdConvertTable->setItem(r, c, new QTableWidgetItem(qs(*cells[c])));
    }
}

// A pair chosen in the grid goes into the fields for editing.
void frmConvertTable::grdConvertTable_Click(int row) {
    if (row < 0 || row >= grdConvertTable->rowCount()) return;
    QLineEdit *fields[4] = {txtUnitA, txtUnitB, txtFormula1, txtFormula2};
    for (int c = 0; c < 4; ++c) fields[c]->setText(grdConvertTable->item(row, c)->text());
}

// Takes a new category typed over the prompt; false when there is none to take.
static bool takeNewCategory(QComboBox *combo, ConversionEditor &editor, QWidget *window, QString &name) {
    std::string problem;
    const int index = editor.addCategory(ss(combo->currentText()), &problem);
    if (index < 0) {
        showError(window, qs(problem));
        return false;
    }
    name = qs(editor.table().categories[size_t(index)]);
    return true;
}

// Ok: a new category typed is taken, then the pair in the fields is stored.
void frmConvertTable::btnAdd_Click() {
    if (cmbCategory->isEditable()) {
        QString name;
        if (!takeNewCategory(cmbCategory, editor_, this, name)) return;
        fillCategories(name);
        if (txtUnitA->text().isEmpty() && txtUnitB->text().isEmpty()) return;
    }
    ConversionEditor::Stored stored = editor_.store(
        category(), {ss(txtUnitA->text()), ss(txtUnitB->text()), ss(txtFormula1->text()), ss(txtFormula2->text()), -1});
    if (!stored.ok) {
        showError(this, qs(stored.problem));
        return;
    }
    showCategory();
    const std::vector<size_t> entries = editor_.entriesOf(category());
    for (int r = 0; r < int(entries.size()); ++r)
        if (entries[size_t(r)] == stored.index) grdConvertTable->selectRow(r);
    for (QLineEdit *edit : {txtUnitA, txtUnitB, txtFormula1, txtFormula2}) edit->clear();
    txtUnitA->setFocus();
}

// Delete: the chosen pair leaves the table.
void frmConvertTable::btnDelete_Click() {
    const int row = grdConvertTable->currentRow();
    const std::vector<size_t> entries = editor_.entriesOf(category());
    if (row < 0 || row >= int(entries.size())) return;
    editor_.remove(entries[size_t(row)]);
    showCategory();
}

// "nomix.cnv" written back; an original that could not be fully read is kept
// beside it as nomix.cnv.bak.
void frmConvertTable::btnSaveAll_Click() {
    SaveOutcome outcome = SaveFile(std::string(kConversionFile), editor_.table());
    if (!outcome.ok) {
        showError(this, qs(outcome.error));
        return;
    }
    closeAndReloadConverter();
}

void frmConvertTable::cmbCancel_Click() { closeAndReloadConverter(); }

// The editor closes and the converter reads the table again.
void frmConvertTable::closeAndReloadConverter() {
    close();
    if (auto *converter = qobject_cast<frmConvert *>(openDesignWindow(QStringLiteral("frmConvert"))))
        converter->LoadConversions();
}

// Delete in the grid removes a pair; Enter in the new category's name takes it.
bool frmConvertTable::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() != QEvent::KeyPress) return DesignWindow::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    if (watched == grdConvertTable && key->key() == Qt::Key_Delete) {
        btnDelete_Click();
        return true;
    }
    if (watched == cmbCategory && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
        cmbCategory->isEditable()) {
        QString name;
        if (takeNewCategory(cmbCategory, editor_, this, name)) fillCategories(name);
        return true;
    }
    return false;
}

QString frmConvertTable::openFilter() const { return qtFilter(QString::fromLatin1(kCnvFilter)); }

// Import Units: the pairs of another table merged into this one by category.
bool frmConvertTable::openFile(const QString &path) {
    ConversionTable other;
    ReadReport report = nomix::LoadConversions(ss(path), other);
    if (report.state != ReadReport::State::Loaded) {
        showError(this, path + QStringLiteral(" could not be read."));
        return false;
    }
    const size_t stored = editor_.import(other);
    fillCategories(cmbCategory->currentText());
    nomix::host().messageBox(std::to_string(stored) + " conversion(s) imported", 64, "Import Units");
    return true;
}

// Save Units As: the table written to another file.
bool frmConvertTable::saveFile(const QString &path, const QString &) {
    SaveOutcome outcome = SaveFile(ss(path), editor_.table());
    if (!outcome.ok) showError(this, qs(outcome.error));
    return outcome.ok;
}

// Print Units: every category and its pairs.
void frmConvertTable::printPage(QPainter &painter, const QRect &page) {
    QStringList lines;
    const ConversionTable &t = editor_.table();
    for (size_t c = 0; c < t.categories.size(); ++c) {
        lines << QString() << QStringLiteral("[") + qs(t.categories[c]) + QStringLiteral("]");
        for (size_t e : editor_.entriesOf(int(c))) {
            const ConversionEntry &x = t.entries[e];
            lines << QStringList{qs(x.unitA), qs(x.unitB), qs(x.formulaAB), qs(x.formulaBA)}.join(QLatin1Char('\t'));
        }
    }
    paintTextPage(painter, page, QStringLiteral("Conversion Definition Table"), lines);
}

// The length pairs with one of them chosen.
void frmConvertTable::showSample(int) {
    fillCategories(QStringLiteral("Length"));
    grdConvertTable->selectRow(6);
    grdConvertTable_Click(6);
}

} // namespace nomix::gui
