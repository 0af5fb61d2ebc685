#include "frmConvert.h"

#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

#include "enginejob.h"
#include "shell/binding.h"
#include "toolprint.h"

namespace nomix::gui {

static const char *const kConFilter = "Conv. sessions (*.con)|*.con|All Files (*.*)|*.*";

// The category list, the rows of numbers and units, the buttons; then the table.
frmConvert::frmConvert(QWidget *parent) : DesignWindow(parent) {
    setObjectName(formName());
    setWindowTitle(QStringLiteral("Conversions"));

    cmbCategories = new QComboBox(this);
    cmbCategories->setObjectName(QStringLiteral("cmbCategories"));
    // Editable, as scripts and users may type a category or a unit by name.
    cmbCategories->setEditable(true);
    cmbCategories->setInsertPolicy(QComboBox::NoInsert);
    cmbCategories->installEventFilter(this);
    cmbCategories->lineEdit()->installEventFilter(this);
    auto *categoryLabel = new QLabel(QStringLiteral("C&ategory:"), this);
    categoryLabel->setBuddy(cmbCategories);

    btnConvert = new QPushButton(QStringLiteral("&Convert"), this);
    btnConvert->setObjectName(QStringLiteral("btnConvert"));
    btnModify = new QPushButton(QStringLiteral("&Edit Units"), this);
    btnModify->setObjectName(QStringLiteral("btnModify"));
    btnAddEntry = new QPushButton(this);
    btnAddEntry->setObjectName(QStringLiteral("btnAddEntry"));
    btnAddEntry->setIcon(style()->standardIcon(QStyle::SP_ArrowDown));
    btnAddEntry->setToolTip(QStringLiteral("One more row"));
    btnRemoveEntry = new QPushButton(this);
    btnRemoveEntry->setObjectName(QStringLiteral("btnRemoveEntry"));
    btnRemoveEntry->setIcon(style()->standardIcon(QStyle::SP_ArrowUp));
    btnRemoveEntry->setToolTip(QStringLiteral("One row less"));
    for (QPushButton *b : {btnConvert, btnModify, btnAddEntry, btnRemoveEntry}) b->setAutoDefault(false);

    auto *layout = new QGridLayout(this);
    layout->addWidget(categoryLabel, 0, 0);
    layout->addWidget(cmbCategories, 0, 1);
    rowsLayout_ = new QGridLayout;
    rowsLayout_->setColumnStretch(1, 1);
    rowsLayout_->setColumnStretch(3, 2);
    layout->addLayout(rowsLayout_, 1, 0, 1, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(btnAddEntry);
    buttons->addWidget(btnRemoveEntry);
    buttons->addStretch(1);
    buttons->addWidget(btnModify);
    buttons->addWidget(btnConvert);
    layout->addLayout(buttons, 2, 0, 1, 2);
    layout->setRowStretch(3, 1);
    layout->setColumnStretch(1, 1);

    connect(btnConvert, &QPushButton::clicked, this, &frmConvert::btnConvert_Click);
    connect(btnModify, &QPushButton::clicked, this, &frmConvert::btnModify_Click);
    connect(btnAddEntry, &QPushButton::clicked, this, &frmConvert::btnAddEntry_Click);
    connect(btnRemoveEntry, &QPushButton::clicked, this, &frmConvert::btnRemoveEntry_Click);
    // A name typed or chosen that is a category (and not the current one) applies at once.
    connect(cmbCategories, &QComboBox::currentTextChanged, this, [this](const QString &text) {
        if (!filling_ && ss(text) != form_.category() && form_.table().findCategory(ss(text)) >= 0)
            cmbCategories_Click();
    });

    LoadConversions();
    resize(twipsToPixels(6000, this), sizeHint().height());
}

// LoadConversions("nomix.cnv"): the table, the "Unit Category" setting, two rows.
void frmConvert::LoadConversions() {
    ConversionTable table;
    ReadReport report = nomix::LoadConversions(std::string(kConversionFile), table);
    if (!report.message.empty()) showError(this, qs(report.message));
    // After the table editor the category in use stays, when it still exists.
    const std::string shown = form_.category();
    form_.setTable(std::move(table), engineSettings().unitCategory);
    if (!shown.empty() && shown != form_.category()) form_.selectCategory(shown);
    showForm();
}

// The category change: its units in every list, every row emptied.
void frmConvert::cmbCategories_Click() {
    form_.selectCategory(ss(cmbCategories->currentText()));
    showForm();
}

// The widgets made to match the form: the category, the rows, the unit lists.
void frmConvert::showForm() {
    filling_ = true;
    const QStringList categories = qsLines(form_.table().categories);
    QStringList shown;
    for (int i = 0; i < cmbCategories->count(); ++i) shown << cmbCategories->itemText(i);
    if (shown != categories) {
        cmbCategories->clear();
        cmbCategories->addItems(categories);
    }
    cmbCategories->setCurrentIndex(cmbCategories->findText(qs(form_.category())));
    cmbCategories->setEditText(qs(form_.category()));
    while (rows_.size() < int(form_.rows().size())) addRowWidgets();
    while (rows_.size() > int(form_.rows().size())) removeRowWidgets();
    fillUnitLists();
    for (int r = 0; r < rows_.size(); ++r) {
        const ConverterRow &row = form_.rows()[size_t(r)];
        rows_[r].txtNumber->setText(qs(row.number));
        rows_[r].cmbUnit->setCurrentIndex(rows_[r].cmbUnit->findText(qs(row.unit)));
        rows_[r].cmbUnit->setEditText(qs(row.unit));
    }
    btnRemoveEntry->setVisible(rows_.size() > int(kMinConverterRows));
    filling_ = false;
    markSource();
}

// The row converted from has its label in bold.
void frmConvert::markSource() {
    for (int r = 0; r < rows_.size(); ++r) {
        QFont font = rows_[r].lblNumber->font();
        font.setBold(size_t(r) == form_.activeRow() && !form_.rows()[size_t(r)].number.empty());
        rows_[r].lblNumber->setFont(font);
    }
}

// Every row's unit list holds the category's units (rebuilt only when they differ).
void frmConvert::fillUnitLists() {
    const QStringList units = qsLines(form_.units());
    for (RowWidgets &row : rows_) {
        QStringList shown;
        for (int i = 0; i < row.cmbUnit->count(); ++i) shown << row.cmbUnit->itemText(i);
        if (shown == units) continue;
        row.cmbUnit->clear();
        row.cmbUnit->addItems(units);
    }
}

// The widgets of one more row: labels "Number i:" and "Unit i:", the number and the unit list.
void frmConvert::addRowWidgets() {
    const int i = int(rows_.size());
    RowWidgets row{};
    row.txtNumber = new QLineEdit(this);
    row.txtNumber->setObjectName(QStringLiteral("txtNumber%1").arg(i));
    row.cmbUnit = new QComboBox(this);
    row.cmbUnit->setObjectName(QStringLiteral("cmbUnit%1").arg(i));
    row.cmbUnit->setMaxVisibleItems(20);
    row.cmbUnit->setEditable(true);
    row.cmbUnit->setInsertPolicy(QComboBox::NoInsert);
    row.lblNumber = new QLabel(QStringLiteral("Number %1:").arg(i + 1), this);
    row.lblNumber->setObjectName(QStringLiteral("lblNumber%1").arg(i));
    row.lblNumber->setBuddy(row.txtNumber);
    QFont bold = row.lblNumber->font();
    bold.setBold(true);  // room for the bold label of the source row, so nothing shifts
    row.lblNumber->setMinimumWidth(QFontMetrics(bold).horizontalAdvance(row.lblNumber->text()) + 2);
    row.lblUnit = new QLabel(QStringLiteral("Unit %1:").arg(i + 1), this);
    row.lblUnit->setObjectName(QStringLiteral("lblUnit%1").arg(i));
    row.lblUnit->setBuddy(row.cmbUnit);
    rowsLayout_->addWidget(row.lblNumber, i, 0);
    rowsLayout_->addWidget(row.txtNumber, i, 1);
    rowsLayout_->addWidget(row.lblUnit, i, 2);
    rowsLayout_->addWidget(row.cmbUnit, i, 3);
    row.txtNumber->installEventFilter(this);
    connect(row.txtNumber, &QLineEdit::textChanged, this, [this, i](const QString &text) {
        if (filling_) return;
        form_.typeNumber(size_t(i), ss(text));
        filling_ = true;
        for (int r = 0; r < rows_.size(); ++r)
            if (r != i) rows_[r].txtNumber->clear();
        filling_ = false;
        markSource();
    });
    connect(row.cmbUnit, &QComboBox::currentTextChanged, this, [this, i](const QString &text) {
        if (!filling_) form_.setUnit(size_t(i), ss(text));
    });
    rows_.append(row);
    for (QWidget *w : {static_cast<QWidget *>(row.lblNumber), static_cast<QWidget *>(row.txtNumber),
                       static_cast<QWidget *>(row.lblUnit), static_cast<QWidget *>(row.cmbUnit)})
        w->show();
}

// The widgets of the last row go.
void frmConvert::removeRowWidgets() {
    RowWidgets row = rows_.takeLast();
    for (QWidget *w : {static_cast<QWidget *>(row.lblNumber), static_cast<QWidget *>(row.txtNumber),
                       static_cast<QWidget *>(row.lblUnit), static_cast<QWidget *>(row.cmbUnit)}) {
        rowsLayout_->removeWidget(w);
        w->deleteLater();
    }
}

// The window (and its frame in the main window) as high as its rows need.
void frmConvert::fitHeight() {
    resize(width(), sizeHint().height());
    QWidget *frame = parentWidget();
    if (frame && frame->inherits("QMdiSubWindow")) frame->resize(frame->width(), frame->sizeHint().height());
}

// More: one row more at the bottom.
void frmConvert::btnAddEntry_Click() {
    if (!form_.addRow()) return;
    showForm();
    fitHeight();
}

// Less: the last row goes (two rows stay).
void frmConvert::btnRemoveEntry_Click() {
    if (!form_.removeRow()) return;
    showForm();
    fitHeight();
}

void frmConvert::btnModify_Click() { openDesignWindow(QStringLiteral("frmConvertTable")); }

// Convert: every other row from the row typed into last; a problem is shown and
// its unit focused. The job fills a copy of the form, so the engine's side never
// writes the form the window shows.
void frmConvert::btnConvert_Click() {
    ConverterForm form = form_;
    ConvertOutcome outcome;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool open = runWindowJob(this, [&] { outcome = form.convert(binding(), settingsInJob().numericFormat); });
    QApplication::restoreOverrideCursor();
    if (!open) return;
    form_ = std::move(form);
    showForm();
    if (outcome.message.empty()) return;
    showError(this, qs(outcome.message));
    if (outcome.state == ConvertOutcome::State::BadUnit && int(outcome.row) < rows_.size())
        rows_[int(outcome.row)].cmbUnit->setFocus();
}

// Enter in a number field converts when the source and every unit are there;
// Enter in the category list applies it.
bool frmConvert::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() != QEvent::KeyPress) return DesignWindow::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) return false;
    if (watched == cmbCategories || watched == cmbCategories->lineEdit()) {
        cmbCategories_Click();
        return true;
    }
    for (const RowWidgets &row : rows_)
        if (watched == row.txtNumber) {
            if (form_.readyToConvert()) btnConvert_Click();
            return true;
        }
    return false;
}

QString frmConvert::openFilter() const { return qtFilter(QString::fromLatin1(kConFilter)); }

// Open Conv. Session: the category and the rows of a ".con" file.
bool frmConvert::openFile(const QString &path) {
    std::vector<std::string> lines;
    if (loadConverterFile(ss(path), lines).state != ReadReport::State::Loaded) {
        showError(this, path + QStringLiteral(" could not be read."));
        return false;
    }
    form_.restoreLines(lines);
    showForm();
    fitHeight();
    return true;
}

// Save Conv. Session As: the category, then each row's number and unit.
bool frmConvert::saveFile(const QString &path, const QString &) {
    SaveOutcome outcome = saveConverterFile(ss(path), form_.sessionLines());
    if (!outcome.ok) showError(this, qs(outcome.error));
    return outcome.ok;
}

// Print Results: the category and each row.
void frmConvert::printPage(QPainter &painter, const QRect &page) {
    QStringList lines{QStringLiteral("Category: ") + qs(form_.category()), QString()};
    for (const ConverterRow &row : form_.rows()) lines << qs(row.number) + QLatin1Char('\t') + qs(row.unit);
    paintTextPage(painter, page, QStringLiteral("Conversions"), lines);
}

// NumberOfEntries and the category, then the category list's text and each
// row's number and unit.
QStringList frmConvert::sessionRecords() {
    QStringList records{QString::number(NumberOfEntries()), qs(form_.category())};
    records << qsLines(form_.sessionLines());
    return records;
}

// The rows and their texts back from "nomix.tmp".
void frmConvert::restoreSession(RecordReader &records) {
    const int last = records.takeCount(int(kMaxConverterRows) - 1);
    records.take();  // the category, again in the control texts
    std::vector<std::string> lines{ss(records.take())};
    for (int r = 0; r <= last; ++r) {
        lines.push_back(ss(records.take()));
        lines.push_back(ss(records.take()));
    }
    form_.restoreLines(lines);
    showForm();
    fitHeight();
}

// CATEGORY, CONVERT, CONVERTMORE, CONVERTLESS, and VALUE / UNIT of a row.
QWidget *frmConvert::scriptControl(const QString &name, int index) {
    const int row = index < 0 ? 0 : index;
    if (name == QLatin1String("CATEGORY")) return cmbCategories;
    if (name == QLatin1String("CONVERT")) return btnConvert;
    if (name == QLatin1String("CONVERTMORE")) return btnAddEntry;
    if (name == QLatin1String("CONVERTLESS")) return btnRemoveEntry;
    if (name == QLatin1String("VALUE") && row < rows_.size()) return rows_[row].txtNumber;
    if (name == QLatin1String("UNIT") && row < rows_.size()) return rows_[row].cmbUnit;
    return nullptr;
}

// A marathon in miles, kilometres and feet.
void frmConvert::showSample(int) {
    form_.restoreLines({"Length", "26.2", "mile", "", "kilometer", "", "foot"});
    btnConvert_Click();
    fitHeight();
}

} // namespace nomix::gui
