#include "frmNOMIX.h"
#include "designwindow.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QAbstractItemView>
#include <QListWidget>
#include <QMessageBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>

#include <atomic>
#include <deque>
#include <string>
#include <vector>

#include "enginethread.h"
#include "sessionfiles.h"
#include "shell/bootstrap.h"
#include "shell/calculator.h"

namespace nomix::gui {

// What the core holds after a job, copied on the engine thread.
struct frmNOMIX::View {
    std::vector<std::string> answers;
    std::deque<std::string> recall;
    CalculatorLayout layout;
    std::array<std::string, 4> parameters;
    std::string input;
    int mode = 0;
    long top = -1;  // the answer line to scroll to the top, -1 to stay
    unsigned long serial = 0;  // jobs finish in order; a view older than the one shown is stale
};

namespace {

Calculator *calculator() {
    Application *app = currentApplication();
    return app ? &app->calculator() : nullptr;
}

// Runs a job on the calculator on the engine thread and copies its state back.
// False when `owner` was closed and deleted while the job ran (the user can
// close a window while a script waits): the caller then touches nothing.
template <class F> bool withCalculator(QObject *owner, F f, frmNOMIX::View *view = nullptr);

EngineThread &engine() { return *EngineThread::instance(); }

} // namespace

frmNOMIX::frmNOMIX(QWidget *parent) : DesignWindow(parent) {
    setObjectName(formName());
    setWindowTitle(QStringLiteral("Expression Evaluator"));
    build();
    fitControls();
    resize(QSize(twipsToPixels(6960, this), twipsToPixels(1935, this)).expandedTo(minimumSize()));
    connect(&engine(), &EngineThread::computingChanged, this, &frmNOMIX::engineComputing);
    refreshFromCore();
}

// The controls: the input line and Calculate on top, the parameter boxes of the
// solver and integrator below them, then the answer list beside the other buttons.
void frmNOMIX::build() {
    auto *grid = new QGridLayout(this);
    cmbExpressions = new QComboBox(this);
    cmbExpressions->setObjectName(QStringLiteral("cmbExpressions"));
    cmbExpressions->setEditable(true);
    cmbExpressions->setInsertPolicy(QComboBox::NoInsert);
    cmbExpressions->setMaxVisibleItems(15);
    cmbExpressions->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    cmbExpressions->lineEdit()->setPlaceholderText(QStringLiteral("Type an expression and press Enter"));
    btnCalc = new QPushButton(QStringLiteral("&Calculate"), this);
    btnCalc->setObjectName(QStringLiteral("btnCalc"));
    btnCalc->setDefault(true);
    btnClear = new QPushButton(QStringLiteral("Clear &Line"), this);
    btnClear->setObjectName(QStringLiteral("btnClear"));
    btnClearAll = new QPushButton(QStringLiteral("Clear &All"), this);
    btnClearAll->setObjectName(QStringLiteral("btnClearAll"));
    btnStop = new QPushButton(QStringLiteral("Stop"), this);
    btnStop->setObjectName(QStringLiteral("btnStop"));
    btnStop->setToolTip(QStringLiteral("Stop the running calculation (Esc)"));
    btnStop->setEnabled(false);

    parameters_ = new QWidget(this);
    auto *params = new QGridLayout(parameters_);
    params->setContentsMargins(0, 0, 0, 0);
    for (int i = 0; i < 4; ++i) {
        lblSolve[size_t(i)] = new QLabel(parameters_);
        lblSolve[size_t(i)]->setObjectName(QStringLiteral("lblSolve%1").arg(i));
        txtSolve[size_t(i)] = new QLineEdit(parameters_);
        txtSolve[size_t(i)]->setObjectName(QStringLiteral("txtSolve%1").arg(i));
        lblSolve[size_t(i)]->setBuddy(txtSolve[size_t(i)]);
        params->addWidget(lblSolve[size_t(i)], i / 2, (i % 2) * 2, Qt::AlignRight);
        params->addWidget(txtSolve[size_t(i)], i / 2, (i % 2) * 2 + 1);
        connect(txtSolve[size_t(i)], &QLineEdit::returnPressed, this, &frmNOMIX::btnCalc_Click);
    }
    params->setColumnStretch(1, 1);
    params->setColumnStretch(3, 1);
    txtSolve[3]->setText(QStringLiteral("100"));
    parameters_->hide();

    lstAnswer = new QListWidget(this);
    lstAnswer->setObjectName(QStringLiteral("lstAnswer"));
    lstAnswer->setUniformItemSizes(true);
    lstAnswer->setSelectionMode(QAbstractItemView::SingleSelection);

    auto *buttons = new QVBoxLayout;
    buttons->addWidget(btnClear);
    buttons->addWidget(btnClearAll);
    buttons->addWidget(btnStop);
    buttons->addStretch();

    // The parameter boxes and the answer list share a column; a hidden one takes no room.
    auto *left = new QVBoxLayout;
    left->addWidget(parameters_);
    left->addWidget(lstAnswer, 1);
    left->addStretch(0);
    grid->addWidget(cmbExpressions, 0, 0);
    grid->addWidget(btnCalc, 0, 1);
    grid->addLayout(left, 1, 0);
    grid->addLayout(buttons, 1, 1);
    grid->setRowStretch(1, 1);
    grid->setColumnStretch(0, 1);

    connect(btnCalc, &QPushButton::clicked, this, &frmNOMIX::btnCalc_Click);
    connect(btnClear, &QPushButton::clicked, this, &frmNOMIX::btnClear_Click);
    connect(btnClearAll, &QPushButton::clicked, this, &frmNOMIX::btnClearAll_Click);
    connect(btnStop, &QPushButton::clicked, this, &frmNOMIX::btnStop_Click);
    connect(lstAnswer, &QListWidget::itemClicked, this, &frmNOMIX::lstAnswer_Click);
    // Enter calculates. It is taken before the line edit sees it: an editable
    // combo box hands an ignored Enter back to its line edit, which would
    // calculate a second, empty line.
    // The combo box gets the keys (its line edit's focus goes to it) and hands
    // them on directly, so it is watched too.
    cmbExpressions->lineEdit()->installEventFilter(this);
    cmbExpressions->installEventFilter(this);
    // What the user types reaches the core at once: a script waiting for input reads it there.
    connect(cmbExpressions->lineEdit(), &QLineEdit::textEdited, this, &frmNOMIX::sendInput);
    connect(cmbExpressions, &QComboBox::activated, this, [this](int) { sendInput(cmbExpressions->currentText()); });
    setFocusProxy(cmbExpressions);
}

namespace {

// Counts the views taken on the engine thread.
std::atomic<unsigned long> viewSerial{0};

template <class F> bool withCalculator(QObject *owner, F f, frmNOMIX::View *view) {
    QPointer<QObject> alive(owner);
    engine().run([&] {
        Calculator *calc = calculator();
        if (!calc) return;
        f(*calc);
        if (!view) return;
        view->answers = calc->answerList();
        view->recall = calc->recallList();
        view->layout = calc->layout();
        view->parameters = calc->parameters();
        view->input = calc->input();
        view->mode = int(calc->mode());
        view->serial = ++viewSerial;
    });
    return !alive.isNull();
}

} // namespace

// The core's state shown: lists, input, mode layout and parameter boxes.
void frmNOMIX::applyView(const View &v, bool keepInput) {
    // A click that ran inside a longer job's wait finished first: the longer
    // job's view is older than what is shown.
    if (v.serial != 0 && v.serial < shownSerial_) return;
    shownSerial_ = v.serial;
    setWindowTitle(qs(v.layout.caption));
    btnCalc->setText(qs(v.layout.buttonCaption));
    mode_ = v.mode;
    for (size_t i = 0; i < 4; ++i) {
        bool shown = int(i) < v.layout.parameterBoxes;
        lblSolve[i]->setVisible(shown);
        txtSolve[i]->setVisible(shown);
        lblSolve[i]->setText(qs(v.layout.labels[i]));
        txtSolve[i]->setText(qs(v.parameters[i]));
    }
    const bool layoutChanges = parameters_->isVisible() != (v.layout.parameterBoxes > 0) ||
                               lstAnswer->isVisible() != v.layout.answerListVisible;
    parameters_->setVisible(v.layout.parameterBoxes > 0);
    lstAnswer->setVisible(v.layout.answerListVisible);
    if (layoutChanges) fitControls();

    setLists(qsLines(v.recall), qsLines(v.answers));
    if (!keepInput) cmbExpressions->setEditText(qs(v.input));
    if (v.top >= 0 && v.top < lstAnswer->count())
        lstAnswer->scrollToItem(lstAnswer->item(int(v.top)), QAbstractItemView::PositionAtTop);
}

// The recall list (newest first) and the answer list; only what changed is redone.
void frmNOMIX::setLists(const QStringList &recall, const QStringList &answers) {
    if (recall != recallLines()) {
        const QString text = cmbExpressions->currentText();
        QSignalBlocker block(cmbExpressions);
        cmbExpressions->clear();
        cmbExpressions->addItems(recall);
        cmbExpressions->setCurrentIndex(-1);
        cmbExpressions->setEditText(text);
    }
    // Lines are appended at the end and removed from the top (a few per
    // calculation), so the list keeps what it has and only redoes the rest.
    const int have = lstAnswer->count();
    int drop = 0;
    while (drop < have && drop < 16 && !answers.isEmpty() && lstAnswer->item(drop)->text() != answers.front()) ++drop;
    if (drop == have || drop == 16 || answers.isEmpty()) drop = have;
    int same = 0;
    while (drop + same < have && same < answers.size() && lstAnswer->item(drop + same)->text() == answers[same]) ++same;
    lstAnswer->setUpdatesEnabled(false);
    for (int i = 0; i < drop && lstAnswer->count() > 0; ++i) delete lstAnswer->takeItem(0);
    while (lstAnswer->count() > same) delete lstAnswer->takeItem(lstAnswer->count() - 1);
    for (qsizetype i = same; i < answers.size(); ++i) lstAnswer->addItem(answers[i]);
    lstAnswer->setUpdatesEnabled(true);
}

// The designed minimum size, but never smaller than the controls of the mode
// need at this font and scale; the window grows when a mode needs more room.
void frmNOMIX::fitControls() {
    layout()->activate();
    QSize least = layout()->minimumSize().expandedTo(QSize(twipsToPixels(3705, this), twipsToPixels(1755, this)));
    setMinimumSize(least);
    if (width() < least.width() || height() < least.height()) resize(size().expandedTo(least));
    if (auto *frame = parentWidget(); frame && frame->inherits("QMdiSubWindow") && !frame->isMaximized())
        frame->resize(frame->size().expandedTo(frame->minimumSizeHint()));
}

void frmNOMIX::sendInput(const QString &text) {
    std::string s = text.toStdString();
    engine().post([s] {
        if (Calculator *calc = calculator()) calc->setInput(s);
    });
}

// btnCalc: the calculation of the input line (and of the parameter boxes in the
// solver and integrator modes), on the engine thread.
void frmNOMIX::btnCalc_Click() {
    cmbExpressions->setFocus();
    std::string input = cmbExpressions->currentText().toStdString();
    std::array<std::string, 4> params;
    for (size_t i = 0; i < 4; ++i) params[i] = txtSolve[i]->text().toStdString();
    View view;
    long top = -1;
    if (!withCalculator(this, [&](Calculator &calc) {
        calc.setInput(input);
        calc.parameters() = params;
        top = long(calc.calculate());
    }, &view))
        return;
    view.top = top;
    // The line is emptied by the calculation; a script it ran may have filled it again.
    cmbExpressions->setCurrentIndex(-1);
    applyView(view);
}

void frmNOMIX::btnClear_Click() {
    cmbExpressions->setCurrentIndex(-1);
    cmbExpressions->clearEditText();
    sendInput(QString());
    cmbExpressions->setFocus();
}

void frmNOMIX::btnClearAll_Click() {
    View view;
    if (!withCalculator(this, [](Calculator &calc) { calc.clearAll(); }, &view)) return;
    applyView(view, true);
    cmbExpressions->setFocus();
}

// The line's text after its first ": " goes to the input line.
void frmNOMIX::lstAnswer_Click(QListWidgetItem *item) {
    if (!item) return;
    size_t row = size_t(lstAnswer->row(item));
    std::string text;
    QPointer<frmNOMIX> alive(this);
    engine().run([&] {
        if (Calculator *calc = calculator()) {
            calc->answerClicked(row);
            text = calc->input();
        }
    });
    if (!alive) return;
    cmbExpressions->setEditText(qs(text));
    cmbExpressions->setFocus();
}

void frmNOMIX::btnStop_Click() { EngineThread::requestStop(); }

void frmNOMIX::engineComputing(bool computing) { btnStop->setEnabled(computing); }

void frmNOMIX::Solve() {
    View view;
    if (!withCalculator(this, [](Calculator &calc) { calc.Solve(); }, &view)) return;
    applyView(view, true);
    cmbExpressions->setFocus();
}

void frmNOMIX::Integrate() {
    View view;
    if (!withCalculator(this, [](Calculator &calc) { calc.Integrate(); }, &view)) return;
    applyView(view, true);
    cmbExpressions->setFocus();
}

void frmNOMIX::resetInput() {
    btnClear_Click();
}

void frmNOMIX::refreshFromCore() {
    View view;
    if (!withCalculator(this, [](Calculator &) {}, &view)) return;
    applyView(view, true);
}

QStringList frmNOMIX::answerLines() const {
    QStringList out;
    for (int i = 0; i < lstAnswer->count(); ++i) out << lstAnswer->item(i)->text();
    return out;
}

QStringList frmNOMIX::recallLines() const {
    QStringList out;
    for (int i = 0; i < cmbExpressions->count(); ++i) out << cmbExpressions->itemText(i);
    return out;
}

QString frmNOMIX::openFilter() const {
    return qtFilter(QStringLiteral("Session files (*.ans)|*.ans|All Files (*.*)|*.*"));
}

namespace {

std::deque<std::string> toDeque(const QStringList &list) {
    std::deque<std::string> out;
    for (const QString &s : list) out.push_back(s.toStdString());
    return out;
}

std::vector<std::string> toVector(const QStringList &list) {
    std::vector<std::string> out;
    for (const QString &s : list) out.push_back(s.toStdString());
    return out;
}

} // namespace

// A session file replaces both lists: its lines, and its inputs newest first.
bool frmNOMIX::openFile(const QString &path) {
    AnswerFile file = readAnswerFile(path);
    if (file.missing) {
        QMessageBox::warning(this, QStringLiteral("Nomix"), QStringLiteral("File not found: %1").arg(path));
        return false;
    }
    View view;
    if (!withCalculator(this, [&](Calculator &calc) { calc.setLists(toDeque(file.recall), toVector(file.answers)); }, &view))
        return false;
    view.top = -1;
    applyView(view, true);
    lstAnswer->scrollToBottom();
    if (!file.problems.isEmpty())
        QMessageBox::warning(this, QStringLiteral("Nomix"),
                             QStringLiteral("Part of %1 could not be read:\n%2").arg(path, file.problems));
    return true;
}

bool frmNOMIX::saveFile(const QString &path, const QString &) {
    QString error;
    if (writeAnswerFile(path, answerLines(), &error)) return true;
    QMessageBox::warning(this, QStringLiteral("Nomix"), QStringLiteral("%1 was not saved: %2").arg(path, error));
    return false;
}

// The answer list, line by line, as many lines as fit the page.
void frmNOMIX::printPage(QPainter &painter, const QRect &page) {
    QFont font = painter.font();
    painter.setFont(font);
    const int lineHeight = painter.fontMetrics().lineSpacing();
    int y = page.top() + painter.fontMetrics().ascent();
    painter.drawText(page.left(), y, windowTitle());
    y += 2 * lineHeight;
    for (const QString &line : answerLines()) {
        if (y > page.bottom()) break;
        painter.drawText(page.left(), y, line);
        y += lineHeight;
    }
}

QString frmNOMIX::helpTopic() const {
    if (mode_ == 1) return QStringLiteral("Solve.htm");
    if (mode_ == 2) return QStringLiteral("Integration.htm");
    return QStringLiteral("Calculator.htm");
}

// Own records (recall list, answer list), then the control texts in control order.
QStringList frmNOMIX::sessionRecords() {
    QStringList out = calculatorSessionRecords(recallLines(), answerLines());
    out << cmbExpressions->currentText();
    for (QLineEdit *t : txtSolve) out << t->text();
    return out;
}

void frmNOMIX::restoreSession(RecordReader &records) {
    QStringList lines;
    while (!records.atEnd()) lines << records.take();
    QStringList recall, answers;
    readCalculatorSessionRecords(lines, recall, answers);
    QString input = lines.value(0);
    View view;
    const bool alive = withCalculator(this, [&](Calculator &calc) {
        calc.setLists(toDeque(recall), toVector(answers));
        calc.setInput(input.toStdString());
        for (size_t i = 0; i < 4; ++i)
            if (lines.size() > qsizetype(i + 1)) calc.parameters()[i] = lines[qsizetype(i + 1)].toStdString();
    }, &view);
    if (!alive) return;
    applyView(view);
    lstAnswer->scrollToBottom();
}

QWidget *frmNOMIX::scriptControl(const QString &name, int) {
    if (name == QLatin1String("EXPRESSION")) return cmbExpressions;
    if (name == QLatin1String("ANSWER")) return lstAnswer;
    if (name == QLatin1String("FROM")) return txtSolve[0];
    if (name == QLatin1String("TO")) return txtSolve[1];
    return nullptr;
}

// Samples for the pictures: a few answers, the solver, the integrator.
void frmNOMIX::showSample(int index) {
    if (index == 1) {
        Solve();
        cmbExpressions->setEditText(QStringLiteral("x^2 - 2"));
        return;
    }
    if (index == 2) {
        Integrate();
        cmbExpressions->setEditText(QStringLiteral("Sin(x)"));
        txtSolve[0]->setText(QStringLiteral("0"));
        txtSolve[1]->setText(QStringLiteral("pi"));
        return;
    }
    for (const char *line : {"2+3", "a = 5", "Sqr(a) * 2", "'ab' * 3"}) {
        cmbExpressions->setEditText(QString::fromLatin1(line));
        btnCalc_Click();
    }
}

// Unloading the window leaves the solver and integrator modes.
void frmNOMIX::closeEvent(QCloseEvent *event) {
    engine().post([] {
        if (Calculator *calc = calculator()) calc->unload();
    });
    DesignWindow::closeEvent(event);
}

bool frmNOMIX::eventFilter(QObject *watched, QEvent *event) {
    if ((watched == cmbExpressions->lineEdit() || watched == cmbExpressions) && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && !cmbExpressions->view()->isVisible()) {
            btnCalc_Click();
            return true;
        }
    }
    return DesignWindow::eventFilter(watched, event);
}

void frmNOMIX::mousePressEvent(QMouseEvent *event) {
    cmbExpressions->setFocus();
    DesignWindow::mousePressEvent(event);
}

} // namespace nomix::gui
