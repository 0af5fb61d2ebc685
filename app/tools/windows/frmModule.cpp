#include "frmModule.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>

#include "enginejob.h"
#include "shell/binding.h"
#include "shell/host.h"
#include "toolprint.h"

namespace nomix::gui {

static const char *const kUsmFilter = "User Solution Modules (*.usm)|*.usm|All Files (*.*)|*.*";
static const QString kNewModule = QStringLiteral("{Create a New Module}");
static const QString kNamePrompt = QStringLiteral("{Enter a name for the module here}");
static const QString kFormulaPrompt = QStringLiteral("{Enter your formula here}");
// The unknown field's background, &HFFFF80 (light cyan), with dark text on any palette.
static const char *const kUnknownStyle = "QLineEdit { background: #80ffff; color: black; }";

// Long texts show their beginning, not their end.
static void showFromStart(QLineEdit *edit) { edit->setCursorPosition(0); }

// The module list, formula, description, the fields' area, the details panel and the buttons; then "nomix.usm".
frmModule::frmModule(QWidget *parent) : DesignWindow(parent) {
    // The session's engine context is made (and released) where the engine runs.
    runEngineJob([this] { session_ = std::make_unique<ModuleSession>(binding()); });
    setObjectName(formName());
    setWindowTitle(QStringLiteral("Modules"));

    cmbModules = new QComboBox(this);
    cmbModules->setObjectName(QStringLiteral("cmbModules"));
    // Editable, so that a script or the user may name the module.
    cmbModules->setEditable(true);
    cmbModules->setInsertPolicy(QComboBox::NoInsert);
    txtName = new QLineEdit(this);
    txtName->setObjectName(QStringLiteral("txtName"));
    txtFormula = new QLineEdit(this);
    txtFormula->setObjectName(QStringLiteral("txtFormula"));
    lblDescription = new QLabel(this);
    lblDescription->setObjectName(QStringLiteral("lblDescription"));
    lblDescription->setWordWrap(true);
    txtDescription = new QLineEdit(this);
    txtDescription->setObjectName(QStringLiteral("txtDescription"));
    lblDetails = new QLabel(this);
    lblDetails->setObjectName(QStringLiteral("lblDetails"));
    lblDetails->setWordWrap(true);
    lblDetails->setFrameShape(QFrame::StyledPanel);
    lblDetails->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblDetails->setMargin(twipsToPixels(60, this));
    lblDetails->setMinimumHeight(fontMetrics().height() * 5);
    lblDetails->setTextFormat(Qt::PlainText);

    fieldScroll_ = new QScrollArea(this);
    fieldScroll_->setWidgetResizable(true);
    fieldScroll_->setFrameShape(QFrame::NoFrame);

    auto button = [this](const QString &text, const char *name) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        return b;
    };
    btnSolve = button(QStringLiteral("&Solve"), "btnSolve");
    btnEdit = button(QStringLiteral("&Edit"), "btnEdit");
    btnCancel = button(QStringLiteral("&Cancel"), "btnCancel");
    btnDelete = button(QStringLiteral("&Delete"), "btnDelete");
    btnOK = button(QStringLiteral("&OK"), "btnOK");

    auto *layout = new QGridLayout(this);
    moduleLabel = new QLabel(QStringLiteral("&Module:"), this);
    moduleLabel->setBuddy(cmbModules);
    layout->addWidget(moduleLabel, 0, 0);
    layout->addWidget(cmbModules, 0, 1);
    layout->addWidget(txtName, 0, 1);
    auto *formulaLabel = new QLabel(QStringLiteral("&Formula:"), this);
    formulaLabel->setBuddy(txtFormula);
    layout->addWidget(formulaLabel, 1, 0);
    layout->addWidget(txtFormula, 1, 1);
    layout->setVerticalSpacing(twipsToPixels(90, this));
    layout->addWidget(lblDescription, 2, 0, 1, 2);
    layout->addWidget(txtDescription, 2, 0, 1, 2);
    layout->addWidget(fieldScroll_, 3, 0, 1, 2);
    layout->addWidget(new QLabel(QStringLiteral("USM Description:"), this), 4, 0, 1, 2);
    layout->addWidget(lblDetails, 5, 0, 1, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(btnEdit);
    buttons->addWidget(btnDelete);
    buttons->addStretch(1);
    buttons->addWidget(btnCancel);
    buttons->addWidget(btnSolve);
    buttons->addWidget(btnOK);
    layout->addLayout(buttons, 6, 0, 1, 2);
    layout->setRowStretch(3, 1);
    layout->setColumnStretch(1, 1);

    connect(cmbModules, &QComboBox::currentTextChanged, this, [this](const QString &text) {
        if (filling_) return;
        const int index = cmbModules->findText(text);
        if (index >= 0 && (index != current_ || editing_)) {
            filling_ = true;
            cmbModules->setCurrentIndex(index);
            filling_ = false;
            cmbModules_Click();
        }
    });
    connect(btnSolve, &QPushButton::clicked, this, &frmModule::btnSolve_Click);
    connect(btnEdit, &QPushButton::clicked, this, &frmModule::btnEdit_Click);
    connect(btnCancel, &QPushButton::clicked, this, &frmModule::btnCancel_Click);
    connect(btnOK, &QPushButton::clicked, this, &frmModule::btnOK_Click);
    connect(btnDelete, &QPushButton::clicked, this, &frmModule::btnDelete_Click);

    ReadReport report = loadModules(std::string(kModuleFile), modules_);
    if (report.state == ReadReport::State::Unreadable) showError(this, qs(report.message));
    current_ = modules_.empty() ? -1 : 0;
    fillModuleList();
    endEdit();
    resize(twipsToPixels(8400, this), twipsToPixels(6600, this));
}

// Fields losing the focus as they are destroyed must not reach this window.
frmModule::~frmModule() {
    detachFieldRows();
    if (session_) runEngineJob([this] { session_.reset(); });
}

// The module's engine context goes while the window is whole: the job's wait
// handles events, which must not reach a window half destroyed.
void frmModule::closeEvent(QCloseEvent *event) {
    DesignWindow::closeEvent(event);
    if (event->isAccepted() && session_) runEngineJob([this] { session_.reset(); });
}

// The current rows' signals cut off before the rows go.
void frmModule::detachFieldRows() {
    for (const RunRow &row : runRows_) {
        row.txtNumber->disconnect(this);
        row.optUnknown->disconnect(this);
        row.txtNumber->removeEventFilter(this);
    }
    runRows_.clear();
    editRows_.clear();
}

// The module shown, or nullptr when there is none.
const Module *frmModule::current() const {
    return current_ >= 0 && current_ < int(modules_.size()) ? &modules_[size_t(current_)] : nullptr;
}

// The modules and "{Create a New Module}", with the current one chosen.
void frmModule::fillModuleList() {
    filling_ = true;
    cmbModules->clear();
    for (const Module &m : modules_) cmbModules->addItem(qs(m.name));
    cmbModules->addItem(kNewModule);
    cmbModules->setCurrentIndex(current_ >= 0 ? current_ : -1);
    cmbModules->setEditText(current_ >= 0 ? cmbModules->itemText(current_) : QString());
    filling_ = false;
}

// Shows the module of that name (an edit in progress is dropped).
bool frmModule::selectModule(const QString &name) {
    for (size_t i = 0; i < modules_.size(); ++i)
        if (qs(modules_[i].name) == name) {
            if (editing_) endEdit();
            current_ = int(i);
            filling_ = true;
            cmbModules->setCurrentIndex(current_);
            filling_ = false;
            showModule();
            return true;
        }
    return false;
}

// A module chosen is shown; "{Create a New Module}" starts a new one.
void frmModule::cmbModules_Click() {
    const int index = cmbModules->currentIndex();
    if (index < 0) return;
    if (index >= int(modules_.size())) {
        startEdit(Module{ss(kNamePrompt), ss(kFormulaPrompt), "", {}}, true);
        return;
    }
    if (editing_) endEdit();
    current_ = index;
    showModule();
}

// A fresh scrolled area for the rows of fields.
QWidget *frmModule::newFieldArea() {
    detachFieldRows();
    auto *area = new QWidget;
    fieldLayout_ = new QGridLayout(area);
    fieldLayout_->setContentsMargins(0, 0, 0, 0);
    fieldScroll_->setWidget(area);  // the old area is deleted
    unknownGroup_ = nullptr;
    return area;
}

// Run mode: one option button (the caption) and one value field per field.
void frmModule::showModule() {
    QWidget *area = newFieldArea();
    unknown_ = -1;
    unknownText_.clear();
    const Module *m = current();
    txtFormula->setText(m ? qs(m->formula) : QString());
    showFromStart(txtFormula);
    lblDescription->setText(m ? qs(m->description) : QStringLiteral("Choose \"{Create a New Module}\" to define one."));
    unknownGroup_ = new QButtonGroup(area);
    const int count = m ? int(m->fields.size()) : 0;
    for (int i = 0; i < count; ++i) {
        const ModuleField &f = m->fields[size_t(i)];
        RunRow row{new QRadioButton(qs(f.caption.empty() ? f.variable : f.caption), area), new QLineEdit(area)};
        row.optUnknown->setObjectName(QStringLiteral("optUnknown%1").arg(i));
        row.optUnknown->setToolTip(QStringLiteral("Solve for this field"));
        row.txtNumber->setObjectName(QStringLiteral("txtNumber%1").arg(i));
        unknownGroup_->addButton(row.optUnknown, i);
        fieldLayout_->addWidget(row.optUnknown, i, 0);
        fieldLayout_->addWidget(row.txtNumber, i, 1);
        connect(row.optUnknown, &QRadioButton::clicked, this, [this, i] { optUnknown_Click(i); });
        connect(row.txtNumber, &QLineEdit::editingFinished, this, [this, i] { txtNumber_LostFocus(i); });
        // Enter moves on to the next value; in the last one it solves.
        connect(row.txtNumber, &QLineEdit::returnPressed, this, [this, i] {
            int next = i + 1;
            if (next == unknown_) ++next;
            if (next < runRows_.size()) runRows_[next].txtNumber->setFocus();
            else btnSolve_Click();
        });
        row.txtNumber->installEventFilter(this);
        runRows_.append(row);
    }
    fieldLayout_->setColumnStretch(1, 1);
    fieldLayout_->setRowStretch(count, 1);
    // The left side of the formula, the last field, is what one usually solves for.
    if (count > 0) optUnknown_Click(count - 1);
    showDetails(-1);
}

// The field to solve for: emptied, locked and light cyan; the previous one is released.
void frmModule::optUnknown_Click(int index) {
    if (index < 0 || index >= runRows_.size()) return;
    if (unknown_ >= 0 && unknown_ < runRows_.size()) {
        // A solved value stays; an unknown never solved gets its old text back.
        QLineEdit *old = runRows_[unknown_].txtNumber;
        old->setReadOnly(false);
        old->setStyleSheet(QString());
        if (old->text().isEmpty()) old->setText(unknownText_);
    }
    unknown_ = index;
    QLineEdit *field = runRows_[index].txtNumber;
    unknownText_ = field->text();
    field->clear();
    field->setReadOnly(true);
    field->setStyleSheet(QLatin1String(kUnknownStyle));
    runRows_[index].optUnknown->setChecked(true);
    showDetails(index);
}

// A value field that gets the focus shows its details.
bool frmModule::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::FocusIn)
        for (int i = 0; i < runRows_.size(); ++i)
            if (watched == runRows_[i].txtNumber) showDetails(i);
    return DesignWindow::eventFilter(watched, event);
}

// The details panel: the module's description and the field's variable,
// format, constraints and details.
void frmModule::showDetails(int field) {
    const Module *m = editing_ ? &edit_ : current();
    if (!m) {
        lblDetails->clear();
        return;
    }
    QStringList lines{qs(m->description)};
    if (field >= 0 && field < int(m->fields.size())) {
        const ModuleField &f = m->fields[size_t(field)];
        lines << QStringLiteral("Variable: ") + qs(f.variable) << QStringLiteral("Format: ") + qs(f.format)
              << QStringLiteral("Constr: ") + qs(f.constraints);
        if (!f.details.empty()) lines << qs(f.details);
    }
    lblDetails->setText(lines.join(QLatin1Char('\n')));
}

// Leaving a value field: its constraints are checked (the user may revise the
// entry), then a number is shown through the field's format.
void frmModule::txtNumber_LostFocus(int index) {
    const Module *m = current();
    if (checking_ || !m || index == unknown_ || index >= runRows_.size() || index >= int(m->fields.size())) return;
    QPointer<QLineEdit> field = runRows_[index].txtNumber;  // the rows may be rebuilt while the job runs
    const std::string text = ss(field->text().trimmed());
    const ModuleField f = m->fields[size_t(index)];
    ModuleSession *session = session_.get();
    bool holds = true;
    std::string shown;
    checking_ = true;
    if (!runWindowJob(this, [&] {
            holds = text.empty() || session->CheckConstr(text, f.constraints);
            shown = session->displayText(text, f.format, settingsInJob().numericFormat);
        }))
        return;
    // Still checking while the box is up: the box takes the focus from the field.
    if (field && !holds) {
        const int answer = host().messageBox(
            "The value you have entered does not satisfy the following constraint(s): " + f.constraints +
                "    Would you like to revise the entry?",
            4 + 48, "Nomix");
        if (field && answer == 6) {
            field->setFocus();
            field->selectAll();
            checking_ = false;
            return;
        }
    }
    if (field) field->setText(qs(shown));
    checking_ = false;
}

// The fields of a formula, made in the session's engine context; nullopt (and
// the problem) when the formula does not give them, or the window closed meanwhile.
std::optional<std::vector<std::string>> frmModule::fieldsOf(const std::string &formula, std::string &problem,
                                                            bool &open) {
    std::optional<std::vector<std::string>> variables;
    ModuleSession *session = session_.get();
    open = runWindowJob(this, [&] { variables = session->buildFields(formula, &problem); });
    return variables;
}

// Solve (or Continue while editing): the unknown field from the others.
void frmModule::btnSolve_Click() {
    if (editing_) {  // "Continue": the fields of the formula as typed
        std::string problem;
        bool open = true;
        Module typed = editedModule();
        std::optional<std::vector<std::string>> variables = fieldsOf(typed.formula, problem, open);
        if (!open) return;
        if (!variables) {
            showError(this, qs(problem));
            return;
        }
        edit_ = withFields(typed, *variables);
        showEditRows();
        return;
    }
    const Module *m = current();
    if (!m) return;
    if (unknown_ < 0) {
        showError(this, QStringLiteral("Choose the unknown field first: click the button beside it."));
        return;
    }
    std::vector<std::string> values;
    for (const RunRow &row : runRows_) values.push_back(ss(row.txtNumber->text()));
    const Module module = *m;
    const size_t unknown = size_t(unknown_);
    ModuleSession *session = session_.get();
    ModuleSession::Outcome outcome;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool open = runWindowJob(this, [&] {
        const Settings s = settingsInJob();
        outcome = session->solve(module, unknown, values, s.eqFrom, s.eqTo, s.numericFormat);
    });
    QApplication::restoreOverrideCursor();
    // The answer belongs to the question asked: not to a module or unknown chosen meanwhile.
    if (!open || editing_ || current() != m || unknown_ != int(unknown)) return;
    switch (outcome.state) {
    case ModuleSession::Outcome::State::Solved:
        runRows_[unknown_].txtNumber->setText(qs(outcome.text));
        break;
    case ModuleSession::Outcome::State::MissingValue:
        showError(this, qs(outcome.message));
        if (int(outcome.field) < runRows_.size()) runRows_[int(outcome.field)].txtNumber->setFocus();
        break;
    case ModuleSession::Outcome::State::NotFound:
        if (!outcome.reported) host().messageBox(outcome.message, 48, "Nomix");
        break;
    }
}

// Edit starts editing the module; Save (its caption while editing) stores it.
void frmModule::btnEdit_Click() {
    if (editing_) {
        saveEdit();
        return;
    }
    if (const Module *m = current()) startEdit(*m, false);
}

// Cancel: the edit is dropped.
void frmModule::btnCancel_Click() {
    if (!editing_) return;
    endEdit();
}

void frmModule::btnOK_Click() { close(); }

// Delete: the module goes, after the user agrees, and the file is written.
void frmModule::btnDelete_Click() {
    const Module *m = current();
    if (!m || editing_) return;
    if (host().messageBox("Delete the module " + m->name + "?", 4 + 32, "Nomix") != 6) return;
    modules_.erase(modules_.begin() + current_);
    current_ = modules_.empty() ? -1 : std::min(current_, int(modules_.size()) - 1);
    writeModules();
    fillModuleList();
    showModule();
}

// Edit mode: name, formula and description editable, and per field its
// caption, format, constraints and details.
void frmModule::startEdit(Module module, bool isNew) {
    editing_ = true;
    editingNew_ = isNew;
    edit_ = std::move(module);
    txtName->setText(qs(edit_.name));
    txtFormula->setText(qs(edit_.formula));
    txtDescription->setText(qs(edit_.description));
    for (QLineEdit *edit : {txtName, txtFormula, txtDescription}) showFromStart(edit);
    for (QWidget *w : {static_cast<QWidget *>(txtName), static_cast<QWidget *>(txtDescription),
                       static_cast<QWidget *>(btnCancel)})
        w->show();
    for (QWidget *w : {static_cast<QWidget *>(cmbModules), static_cast<QWidget *>(lblDescription),
                       static_cast<QWidget *>(btnOK), static_cast<QWidget *>(btnDelete)})
        w->hide();
    txtFormula->setReadOnly(false);
    btnEdit->setText(QStringLiteral("&Save"));
    moduleLabel->setText(QStringLiteral("&Name:"));
    moduleLabel->setBuddy(txtName);
    btnSolve->setText(QStringLiteral("C&ontinue"));
    btnSolve->setToolTip(QStringLiteral("Make the fields of the formula"));
    showEditRows();
    if (isNew) {
        txtName->setFocus();
        txtName->selectAll();
    }
}

// One row per field: variable, caption, format, constraints and details.
void frmModule::showEditRows() {
    QWidget *area = newFieldArea();
    const QStringList headings{QStringLiteral("Variable"), QStringLiteral("Caption"), QStringLiteral("Format"),
                               QStringLiteral("Constraints"), QStringLiteral("Details")};
    for (int c = 0; c < headings.size(); ++c) fieldLayout_->addWidget(new QLabel(headings[c], area), 0, c);
    const QStringList formats = qsLines(moduleFormats());
    for (int i = 0; i < int(edit_.fields.size()); ++i) {
        const ModuleField &f = edit_.fields[size_t(i)];
        EditRow row{new QLineEdit(qs(f.caption), area), new QComboBox(area), new QLineEdit(qs(f.constraints), area),
                    new QLineEdit(qs(f.details), area)};
        row.txtCaption->setObjectName(QStringLiteral("txtCaption%1").arg(i));
        row.cmbFormat->setObjectName(QStringLiteral("cmbFormat%1").arg(i));
        row.cmbFormat->setEditable(true);
        row.cmbFormat->addItems(formats);
        row.cmbFormat->setCurrentText(qs(f.format));
        row.txtConstraints->setObjectName(QStringLiteral("txtConstraints%1").arg(i));
        row.txtConstraints->setPlaceholderText(QStringLiteral("e.g. 0..100, x <> 5"));
        row.txtDetails->setObjectName(QStringLiteral("txtDetails%1").arg(i));
        fieldLayout_->addWidget(new QLabel(qs(f.variable), area), i + 1, 0);
        fieldLayout_->addWidget(row.txtCaption, i + 1, 1);
        fieldLayout_->addWidget(row.cmbFormat, i + 1, 2);
        fieldLayout_->addWidget(row.txtConstraints, i + 1, 3);
        fieldLayout_->addWidget(row.txtDetails, i + 1, 4);
        for (QLineEdit *edit : {row.txtCaption, row.txtConstraints, row.txtDetails}) showFromStart(edit);
        editRows_.append(row);
    }
    if (edit_.fields.empty())
        fieldLayout_->addWidget(new QLabel(QStringLiteral("Type the formula, then press Continue to make its fields."),
                                           area),
                                1, 0, 1, 5);
    for (int c : {1, 3, 4}) fieldLayout_->setColumnStretch(c, 1);
    fieldLayout_->setRowStretch(int(edit_.fields.size()) + 2, 1);
    showDetails(-1);
}

// The module as the edit fields hold it.
Module frmModule::editedModule() const {
    Module m = edit_;
    m.name = ss(txtName->text().trimmed());
    m.formula = ss(txtFormula->text().trimmed());
    m.description = ss(txtDescription->text().trimmed());
    for (int i = 0; i < editRows_.size() && i < int(m.fields.size()); ++i) {
        ModuleField &f = m.fields[size_t(i)];
        f.caption = ss(editRows_[i].txtCaption->text().trimmed());
        f.format = ss(editRows_[i].cmbFormat->currentText().trimmed());
        f.constraints = ss(editRows_[i].txtConstraints->text().trimmed());
        f.details = ss(editRows_[i].txtDetails->text().trimmed());
    }
    return m;
}

// Stores the edit into the list and writes "nomix.usm"; false (and still
// editing) when the module is not complete.
bool frmModule::saveEdit() {
    Module m = editedModule();
    if (m.name.empty() || qs(m.name) == kNamePrompt) {
        showError(this, QStringLiteral("Give the module a name."));
        txtName->setFocus();
        return false;
    }
    std::string problem;
    bool open = true;
    std::optional<std::vector<std::string>> variables = fieldsOf(m.formula, problem, open);
    if (!open) return false;
    if (!variables || variables->empty()) {
        showError(this, problem.empty() ? QStringLiteral("The formula has no variables.") : qs(problem));
        txtFormula->setFocus();
        return false;
    }
    m = withFields(m, *variables);
    const std::vector<std::string> unwritable = moduleWriteProblems({m});
    if (!unwritable.empty()) {
        showError(this, qs(unwritable.front()));
        return false;
    }
    if (editingNew_ || current_ < 0) {
        modules_.push_back(std::move(m));
        current_ = int(modules_.size()) - 1;
    } else {
        modules_[size_t(current_)] = std::move(m);
    }
    writeModules();
    endEdit();
    return true;
}

// Back to run mode, showing the current module.
void frmModule::endEdit() {
    editing_ = false;
    editingNew_ = false;
    for (QWidget *w : {static_cast<QWidget *>(txtName), static_cast<QWidget *>(txtDescription),
                       static_cast<QWidget *>(btnCancel)})
        w->hide();
    for (QWidget *w : {static_cast<QWidget *>(cmbModules), static_cast<QWidget *>(lblDescription),
                       static_cast<QWidget *>(btnOK), static_cast<QWidget *>(btnDelete)})
        w->show();
    txtFormula->setReadOnly(true);
    btnEdit->setText(QStringLiteral("&Edit"));
    moduleLabel->setText(QStringLiteral("&Module:"));
    moduleLabel->setBuddy(cmbModules);
    btnSolve->setText(QStringLiteral("&Solve"));
    btnSolve->setToolTip(QString());
    fillModuleList();
    showModule();
}

// The module list written to "nomix.usm"; a failure is shown.
bool frmModule::writeModules() {
    SaveOutcome outcome = saveModules(std::string(kModuleFile), modules_);
    if (!outcome.ok) showError(this, qs(outcome.error));
    return outcome.ok;
}

QString frmModule::openFilter() const { return qtFilter(QString::fromLatin1(kUsmFilter)); }

// Import Modules: the file's modules are added to the list, which is saved.
bool frmModule::openFile(const QString &path) {
    std::vector<Module> imported;
    ReadReport report = loadModules(ss(path), imported);
    if (report.state != ReadReport::State::Loaded) {
        showError(this, report.message.empty() ? path + QStringLiteral(" could not be read.") : qs(report.message));
        return false;
    }
    for (Module &m : imported) modules_.push_back(std::move(m));
    writeModules();
    if (editing_) endEdit();
    if (current_ < 0 && !modules_.empty()) current_ = 0;
    fillModuleList();
    showModule();
    host().messageBox(importedMessage(imported.size()), 64, "Import Modules");
    return true;
}

// Save Modules As: the module list written to another file.
bool frmModule::saveFile(const QString &path, const QString &) {
    SaveOutcome outcome = saveModules(ss(path), modules_);
    if (!outcome.ok) showError(this, qs(outcome.error));
    return outcome.ok;
}

// Print Current Module: its formula, description and each field's value.
void frmModule::printPage(QPainter &painter, const QRect &page) {
    const Module *m = current();
    if (!m) return;
    QStringList lines{QStringLiteral("Formula: ") + qs(m->formula), qs(m->description), QString()};
    for (int i = 0; i < int(m->fields.size()); ++i) {
        const ModuleField &f = m->fields[size_t(i)];
        const QString value = i < runRows_.size() ? runRows_[i].txtNumber->text() : QString();
        const bool solved = i == unknown_ && !editing_ && !value.isEmpty();
        lines << qs(f.caption) + QLatin1Char('\t') + value + (solved ? QStringLiteral("  (solved)") : QString());
    }
    paintTextPage(painter, page, qs(m->name), lines);
}

// An edit in progress is saved first; then the module's name and the unknown
// field, then the texts of the module list, the formula and each value field.
QStringList frmModule::sessionRecords() {
    if (editing_ && !saveEdit()) endEdit();
    const Module *m = current();
    QStringList records{m ? qs(m->name) : QString(), QString::number(unknown_), cmbModules->currentText(),
                        txtFormula->text()};
    for (const RunRow &row : runRows_) records << row.txtNumber->text();
    return records;
}

// The module, its unknown and the field values back from "nomix.tmp".
void frmModule::restoreSession(RecordReader &records) {
    const QString name = records.take();
    const QString unknown = records.take();
    records.take();
    records.take();
    if (!selectModule(name)) return;
    bool ok = false;
    const int index = unknown.toInt(&ok);
    if (ok && index >= 0 && index < runRows_.size()) optUnknown_Click(index);
    for (RunRow &row : runRows_) row.txtNumber->setText(records.take());
}

// The modules window's script names (see docs/tools.md).
QWidget *frmModule::scriptControl(const QString &name, int index) {
    const int i = index < 0 ? 0 : index;
    if (name == QLatin1String("MODULE")) return editing_ ? static_cast<QWidget *>(txtName) : cmbModules;
    if (name == QLatin1String("FORMULA")) return txtFormula;
    if (name == QLatin1String("USMSOLVE")) return btnSolve;
    if (name == QLatin1String("USMOK")) return editing_ ? btnEdit : btnOK;
    if (editing_ && i < editRows_.size()) {
        if (name == QLatin1String("CAPTION")) return editRows_[i].txtCaption;
        if (name == QLatin1String("CONSTRAINTS")) return editRows_[i].txtConstraints;
        if (name == QLatin1String("DETAILS")) return editRows_[i].txtDetails;
    }
    if (name == QLatin1String("DETAILS")) return lblDetails;
    if (i < runRows_.size()) {
        if (name == QLatin1String("NUMBER") || name == QLatin1String("USMVALUE")) return runRows_[i].txtNumber;
        if (name == QLatin1String("UNKNOWN") || name == QLatin1String("CAPTION")) return runRows_[i].optUnknown;
    }
    return nullptr;
}

// Sample 0: a loan payment solved; sample 1: the same module in edit mode.
void frmModule::showSample(int index) {
    if (!selectModule(QStringLiteral("Loan Payment")) && !modules_.empty()) selectModule(qs(modules_[0].name));
    if (index == 1) {
        btnEdit_Click();
        return;
    }
    const QStringList values{QStringLiteral("250000"), QStringLiteral("6.5"), QStringLiteral("360")};
    for (int i = 0; i < values.size() && i < runRows_.size(); ++i) {
        runRows_[i].txtNumber->setText(values[i]);
        txtNumber_LostFocus(i);
    }
    btnSolve_Click();
    showDetails(unknown_);
}

} // namespace nomix::gui
