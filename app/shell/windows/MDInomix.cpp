#include "MDInomix.h"

#include <QAbstractButton>
#include <QPushButton>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRadioButton>
#include <QSaveFile>
#include <QStatusBar>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <memory>

#include "designwindow.h"
#include "desktophost.h"
#include "enginethread.h"
#include "frmNOMIX.h"
#include "frmOptions.h"
#include "frmPlaceholder.h"
#include "frmSplash.h"
#include "helpbrowser.h"
#include "keys.h"
#include "sessionfiles.h"
#include "shell/binding.h"
#include "shell/bootstrap.h"
#include "shell/calculator.h"
#include "shell/script.h"
#include "shell/settings.h"
#include "tutorpanel.h"

namespace nomix::gui {

namespace {

EngineThread &engine() { return *EngineThread::instance(); }
Application &app() { return *currentApplication(); }

const QStringList kFormats = {
    QStringLiteral("General"), QStringLiteral("Currency"), QStringLiteral("Fixed"), QStringLiteral("Standard"),
    QStringLiteral("Percent"), QStringLiteral("Scientific"), QStringLiteral("Yes/No"), QStringLiteral("True/False"),
    QStringLiteral("On/Off"), QStringLiteral("User defined")};

// Where each script control name lives, besides the main window's own.
QString windowOfControl(const QString &name) {
    static const QHash<QString, QString> table = [] {
        QHash<QString, QString> t;
        auto put = [&t](const char *form, std::initializer_list<const char *> names) {
            for (const char *n : names) t.insert(QString::fromLatin1(n), QString::fromLatin1(form));
        };
        put("frmNOMIX", {"EXPRESSION", "ANSWER", "FROM", "TO"});
        put("frmModule", {"CAPTION", "CONSTRAINTS", "DETAILS", "FORMULA", "MODULE", "NUMBER", "UNKNOWN", "USMOK",
                          "USMSOLVE", "USMVALUE"});
        put("frmConvert", {"CATEGORY", "CONVERT", "CONVERTMORE", "CONVERTLESS", "UNIT", "VALUE"});
        put("frmPlot", {"CLEARPLOTEQS", "GRAPHTYPE", "NEXT", "PLOT", "PLOTEQ", "PLOTFROM", "PLOTTO"});
        put("frmSumTable", {"SUMEQ", "SUMFROM", "SUMTO"});
        put("frmAdder", {"ADDER", "COMMENT"});
        return t;
    }();
    return table.value(name);
}

// The settings as the engine thread holds them, copied.
Settings settingsCopy() {
    Settings s;
    engine().run([&] { s = app().settings(); });
    return s;
}

// Changes a setting on the engine thread, where the calculation reads it.
void changeSettings(std::function<void(Application &)> f) {
    engine().run([f = std::move(f)] {
        if (Application *a = currentApplication()) f(*a);
    });
}

} // namespace

QPrinter &sharedPrinter() {
    static QPrinter printer(QPrinter::HighResolution);
    return printer;
}

MDInomix::MDInomix(DesktopHost &host, bool maximizeCalculator, QWidget *parent)
    : QMainWindow(parent), host_(host), maximizeCalculator_(maximizeCalculator) {
    setObjectName(QStringLiteral("MDInomix"));
    setWindowTitle(QStringLiteral("Nomix"));
    setAttribute(Qt::WA_DeleteOnClose);
    mdi_ = new QMdiArea(this);
    mdi_->setObjectName(QStringLiteral("mdiArea"));
    mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdi_);
    buildToolBar();
    buildOptionsBar();
    buildStatusLine();
    buildMenus();
    tutor_ = new TutorPanel(this);
    addDockWidget(Qt::RightDockWidgetArea, tutor_);
    tutor_->hide();
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(250);
    connect(Timer1, &QTimer::timeout, this, &MDInomix::Timer1_Timer);
    UserTimer = new QTimer(this);
    UserTimer->setObjectName(QStringLiteral("UserTimer"));
    connect(UserTimer, &QTimer::timeout, this, &MDInomix::UserTimer_Timer);
    ReminderTimer = new QTimer(this);
    ReminderTimer->setObjectName(QStringLiteral("ReminderTimer"));
    ReminderTimer->setInterval(300);
    connect(ReminderTimer, &QTimer::timeout, this, &MDInomix::ReminderTimer_Timer);
    connect(mdi_, &QMdiArea::subWindowActivated, this, &MDInomix::windowActivated);
    host_.setMainWindow(this);
    host_.setClosing(false);
    appVariables().quit = 0;
    setWindowOpener([this](const QString &name) { return openForm(name); });
    resize(twipsToPixels(11000, this), twipsToPixels(8000, this));
}

MDInomix::~MDInomix() {
    // The MDI area announces its last active window as it goes; this window is gone by then.
    disconnect(mdi_, nullptr, this, nullptr);
    if (host_.mainWindow() == this) {
        host_.setMainWindow(nullptr);
        setWindowOpener({});
    }
}

// ---- building ----

QAction *MDInomix::addEntry(QMenu *menu, const QString &name, const QString &caption, std::function<void()> handler) {
    QAction *a = menu->addAction(caption);
    a->setObjectName(name);
    connect(a, &QAction::triggered, this, [handler = std::move(handler)] { handler(); });
    return a;
}

void MDInomix::buildMenus() {
    QMenuBar *bar = menuBar();
    auto menu = [bar](const char *name, const QString &caption) {
        QMenu *m = bar->addMenu(caption);
        m->setObjectName(QString::fromLatin1(name));
        m->menuAction()->setObjectName(QString::fromLatin1(name));
        return m;
    };
    QMenu *file = menu("mnuFile", QStringLiteral("&File"));
    addEntry(file, QStringLiteral("mnuNewSession"), QStringLiteral("New Session"), [this] { mnuNewSession_Click(); });
    mnuOpen = addEntry(file, QStringLiteral("mnuOpen"), QStringLiteral("&Open..."), [this] { mnuOpen_Click(); });
    mnuOpen->setShortcut(QKeySequence::Open);
    mnuSave = addEntry(file, QStringLiteral("mnuSave"), QStringLiteral("&Save..."), [this] { mnuSave_Click(); });
    mnuSave->setShortcut(QKeySequence::Save);
    file->addSeparator();
    addEntry(file, QStringLiteral("mnuPrintSetup"), QStringLiteral("Print Set&up..."), [this] { mnuPrintSetup_Click(); });
    mnuPrint = addEntry(file, QStringLiteral("mnuPrint"), QStringLiteral("&Print Session"), [this] { mnuPrint_Click(); });
    mnuPrint->setShortcut(QKeySequence::Print);
    file->addSeparator();
    QAction *exit = addEntry(file, QStringLiteral("mnuExit"), QStringLiteral("&Exit"), [this] { close(); });
    exit->setShortcut(QKeySequence::Quit);

    QMenu *edit = menu("mnuEdit", QStringLiteral("&Edit"));
    addEntry(edit, QStringLiteral("mnuCut"), QStringLiteral("Cu&t"), [this] { mnuCut_Click(); })->setShortcut(QKeySequence::Cut);
    addEntry(edit, QStringLiteral("mnuCopy"), QStringLiteral("&Copy"), [this] { mnuCopy_Click(); })->setShortcut(QKeySequence::Copy);
    addEntry(edit, QStringLiteral("mnuPaste"), QStringLiteral("&Paste"), [this] { mnuPaste_Click(); })->setShortcut(QKeySequence::Paste);
    for (QAction *a : edit->actions()) a->setShortcutContext(Qt::WidgetShortcut);  // the boxes keep their own keys
    edit->addSeparator();
    addEntry(edit, QStringLiteral("mnuSpecialCopy"), QStringLiteral("&Special Copy"), [this] { mnuSpecialCopy_Click(); });

    QMenu *tools = menu("mnuTools", QStringLiteral("&Tools"));
    addEntry(tools, QStringLiteral("mnuCalculator"), QStringLiteral("&Expression Evaluator"), [this] { openForm(QStringLiteral("frmNOMIX")); });
    addEntry(tools, QStringLiteral("mnuModules"), QStringLiteral("&User Solution Modules"), [this] { openForm(QStringLiteral("frmModule")); });
    addEntry(tools, QStringLiteral("mnuConverter"), QStringLiteral("Unit &Converter"), [this] { openForm(QStringLiteral("frmConvert")); });
    addEntry(tools, QStringLiteral("mnuAdder"), QStringLiteral("&Adder"), [this] { openForm(QStringLiteral("frmAdder")); });
    addEntry(tools, QStringLiteral("mnuSolver"), QStringLiteral("Equation &Solver"), [this] {
        openForm(QStringLiteral("frmNOMIX"));
        if (frmNOMIX *c = calculatorWindow()) c->Solve();
    });
    addEntry(tools, QStringLiteral("mnuIntegration"), QStringLiteral("&Numerical Integrations"), [this] {
        openForm(QStringLiteral("frmNOMIX"));
        if (frmNOMIX *c = calculatorWindow()) c->Integrate();
    });
    addEntry(tools, QStringLiteral("mnuSummation"), QStringLiteral("&Summation Table"), [this] { openForm(QStringLiteral("frmSumTable")); });
    tools->addSeparator();
    addEntry(tools, QStringLiteral("mnuEditUserDefs"), QStringLiteral("Edit User Definition File"), [this] { openEditor(QStringLiteral("UserDefs.nx")); });

    QMenu *options = menu("mnuOptions", QStringLiteral("&Options"));
    mnuSessionRecall = addEntry(options, QStringLiteral("mnuSessionRecall"), QStringLiteral("Auto &Session Recall"), [this] { mnuSessionRecall_Click(); });
    mnuSessionRecall->setCheckable(true);
    mnuShowToolbar = addEntry(options, QStringLiteral("mnuShowToolbar"), QStringLiteral("Show &Toolbar"), [this] {
        bool on = mnuShowToolbar->isChecked();
        changeSettings([on](Application &a) { a.settings().showToolbar = on; });
        pctToolBar->setVisible(on);
    });
    mnuShowToolbar->setCheckable(true);
    mnuShowOptions = addEntry(options, QStringLiteral("mnuShowOptions"), QStringLiteral("Show &Numeric Options"), [this] {
        bool on = mnuShowOptions->isChecked();
        changeSettings([on](Application &a) { a.settings().showNumericOptions = on; });
        pctOptions->setVisible(on);
    });
    mnuShowOptions->setCheckable(true);
    QMenu *angle = options->addMenu(QStringLiteral("&Angle Mode"));
    angle->setObjectName(QStringLiteral("mnuAngle"));
    auto *angles = new QActionGroup(this);
    mnuRadian = addEntry(angle, QStringLiteral("mnuRadian"), QStringLiteral("Radian"), [this] { setAngle(QStringLiteral("RAD")); });
    mnuDegree = addEntry(angle, QStringLiteral("mnuDegree"), QStringLiteral("Degree"), [this] { setAngle(QStringLiteral("DEG")); });
    mnuGradient = addEntry(angle, QStringLiteral("mnuGradient"), QStringLiteral("Gradient"), [this] { setAngle(QStringLiteral("GRA")); });
    for (QAction *a : {mnuRadian, mnuDegree, mnuGradient}) {
        a->setCheckable(true);
        angles->addAction(a);
    }
    QMenu *base = options->addMenu(QStringLiteral("&Numeric Base (output)"));
    base->setObjectName(QStringLiteral("mnuBase"));
    mnuDec = addEntry(base, QStringLiteral("mnuDec"), QStringLiteral("Decimal"), [this] { setDisplayFlag('d', mnuDec->isChecked()); });
    mnuBin = addEntry(base, QStringLiteral("mnuBin"), QStringLiteral("Binary"), [this] { setDisplayFlag('b', mnuBin->isChecked()); });
    mnuOct = addEntry(base, QStringLiteral("mnuOct"), QStringLiteral("Octal"), [this] { setDisplayFlag('o', mnuOct->isChecked()); });
    mnuHex = addEntry(base, QStringLiteral("mnuHex"), QStringLiteral("Hexadecimal"), [this] { setDisplayFlag('h', mnuHex->isChecked()); });
    for (QAction *a : {mnuDec, mnuBin, mnuOct, mnuHex}) a->setCheckable(true);
    options->addSeparator();
    addEntry(options, QStringLiteral("mnuGraphOptions"), QStringLiteral("&Graphing..."), [this] { openForm(QStringLiteral("frmGraphOptions")); });
    addEntry(options, QStringLiteral("mnuMiscellaneous"), QStringLiteral("&Miscellaneous..."), [this] { openForm(QStringLiteral("frmOptions")); });
    options->addSeparator();
    addEntry(options, QStringLiteral("mnuSaveSettings"), QStringLiteral("Save Current Settings"), [this] { mnuSaveSettings_Click(); });
    addEntry(options, QStringLiteral("mnuResetSettings"), QStringLiteral("&Reset to Default Settings"), [this] { mnuResetSettings_Click(); });

    QMenu *graphing = menu("mnuGraphing", QStringLiteral("&Graphing"));
    addEntry(graphing, QStringLiteral("mnuGraphingOptions"), QStringLiteral("&Options..."), [this] { openForm(QStringLiteral("frmGraphOptions")); });
    addEntry(graphing, QStringLiteral("mnuPlot"), QStringLiteral("&Plot..."), [this] { openForm(QStringLiteral("frmPlot")); });

    QMenu *window = menu("mnuWindow", QStringLiteral("&Window"));
    addEntry(window, QStringLiteral("mnuCascade"), QStringLiteral("Cascade"), [this] { mdi_->cascadeSubWindows(); });
    addEntry(window, QStringLiteral("mnuTileHorizontally"), QStringLiteral("Tile Horizontally"), [this] { tileHorizontally(); });
    addEntry(window, QStringLiteral("mnuTileVertically"), QStringLiteral("Tile Vertically"), [this] { tileVertically(); });
    window->addSeparator();
    connect(window, &QMenu::aboutToShow, this, [this, window] {
        const QList<QAction *> actions = window->actions();
        for (qsizetype i = 4; i < actions.size(); ++i) {
            window->removeAction(actions[i]);
            actions[i]->deleteLater();
        }
        int n = 1;
        for (QMdiSubWindow *sub : mdi_->subWindowList()) {
            QAction *a = window->addAction(QStringLiteral("&%1 %2").arg(n++).arg(sub->windowTitle()));
            a->setCheckable(true);
            a->setChecked(sub == mdi_->activeSubWindow());
            connect(a, &QAction::triggered, this, [this, sub] { mdi_->setActiveSubWindow(sub); });
        }
    });

    QMenu *favorites = menu("mnuFavorites", QStringLiteral("Favorites"));
    addEntry(favorites, QStringLiteral("mnuFavoritesEdit"), QStringLiteral("Edit"), [this] { mnuFavoritesEdit_Click(); });
    favorites->addSeparator();
    for (int i = 1; i <= 10; ++i)
        mnuFavorite[size_t(i)] = addEntry(favorites, QStringLiteral("mnuFavorite%1").arg(i),
                                          QStringLiteral("Favorite #%1").arg(i), [this, i] { mnuFavorite_Click(i); });

    QMenu *tutorial = menu("mnuTutorial", QStringLiteral("T&utorial"));
    addEntry(tutorial, QStringLiteral("mnuTutor"), QStringLiteral("Show the &Tutor"), [this] {
        tutor_->say(QStringLiteral("Type an expression in the Expression Evaluator and click Calculate. "
                                   "The Help menu explains every window."));
    });

    QMenu *help = menu("mnuHelp", QStringLiteral("&Help"));
    addEntry(help, QStringLiteral("mnuContents"), QStringLiteral("&Contents"), [this] { mnuContents_Click(); })->setShortcut(QKeySequence::HelpContents);
    addEntry(help, QStringLiteral("mnuFeedback"), QStringLiteral("Send Feedback"), [this] { showHelp(QStringLiteral("ReportProblem.htm")); });
    addEntry(help, QStringLiteral("mnuWeb"), QStringLiteral("Nomix on the &Web"), [this] { showHelp(QStringLiteral("About.htm")); });
    help->addSeparator();
    addEntry(help, QStringLiteral("mnuAbout"), QStringLiteral("&About Nomix"), [this] { mnuAbout_Click(); });
}

void MDInomix::buildToolBar() {
    pctToolBar = addToolBar(QStringLiteral("Toolbar"));
    pctToolBar->setObjectName(QStringLiteral("pctToolBar"));
    pctToolBar->setMovable(false);
    pctToolBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    struct Tool { const char *text, *tip, *form; };
    static const Tool tools[] = {
        {"Modules", "User Solution Modules", "frmModule"}, {"Convert", "Unit Converter", "frmConvert"},
        {"Adder", "Adder", "frmAdder"},                     {"Solve", "Equation Solver", ""},
        {"Sum", "Summation of an expression", "frmSumTable"}, {"Integrate", "Numeric Integration", ""},
        {"Graph", "Graphing", "frmPlot"}};
    for (int i = 1; i <= 7; ++i) {
        const Tool &t = tools[i - 1];
        auto *b = new QToolButton(pctToolBar);
        b->setObjectName(QStringLiteral("Button%1").arg(i));
        b->setText(QString::fromLatin1(t.text));
        b->setToolTip(QString::fromLatin1(t.tip));
        b->setAutoRaise(true);
        pctToolBar->addWidget(b);
        toolButtons_[size_t(i)] = b;
        QString form = QString::fromLatin1(t.form);
        connect(b, &QToolButton::clicked, this, [this, i, form] {
            if (!form.isEmpty()) {
                openForm(form);
                return;
            }
            openForm(QStringLiteral("frmNOMIX"));
            if (frmNOMIX *c = calculatorWindow()) i == 4 ? c->Solve() : c->Integrate();
        });
    }
    pctToolBar->addSeparator();
    for (int i = 1; i <= 7; ++i) {
        auto *b = new QToolButton(pctToolBar);
        b->setObjectName(QStringLiteral("btnProg%1").arg(i));
        b->setText(QStringLiteral("P%1").arg(i));
        b->setToolTip(QStringLiteral("Programmable button %1 (runs P_Button%1)").arg(i));
        b->setAutoRaise(true);
        btnProg[size_t(i)] = b;
        QAction *a = pctToolBar->addWidget(b);
        a->setObjectName(QStringLiteral("actProg%1").arg(i));
        connect(b, &QToolButton::clicked, this, [this, i] { btnProg_Click(i); });
    }
}

void MDInomix::buildOptionsBar() {
    addToolBarBreak();
    pctOptions = addToolBar(QStringLiteral("Numeric Options"));
    pctOptions->setObjectName(QStringLiteral("pctOptions"));
    pctOptions->setMovable(false);
    auto *body = new QWidget(pctOptions);
    auto *row = new QHBoxLayout(body);
    row->setContentsMargins(4, 0, 4, 0);
    auto check = [&](QCheckBox *&box, const char *name, const QString &text, char flag) {
        box = new QCheckBox(text, body);
        box->setObjectName(QString::fromLatin1(name));
        box->setToolTip(QStringLiteral("Show answers in this base"));
        row->addWidget(box);
        connect(box, &QCheckBox::clicked, this, [this, flag](bool on) { setDisplayFlag(flag, on); });
    };
    check(chkDec, "chkDec", QStringLiteral("Dec"), 'd');
    check(chkBin, "chkBin", QStringLiteral("Bin"), 'b');
    check(chkOct, "chkOct", QStringLiteral("Oct"), 'o');
    check(chkHex, "chkHex", QStringLiteral("Hex"), 'h');
    row->addSpacing(16);
    auto radio = [&](QRadioButton *&b, const char *name, const QString &text, const QString &angle) {
        b = new QRadioButton(text, body);
        b->setObjectName(QString::fromLatin1(name));
        b->setToolTip(QStringLiteral("Angle mode"));
        row->addWidget(b);
        connect(b, &QRadioButton::clicked, this, [this, angle] { setAngle(angle); });
    };
    radio(optRad, "optRad", QStringLiteral("Rad"), QStringLiteral("RAD"));
    radio(optDeg, "optDeg", QStringLiteral("Deg"), QStringLiteral("DEG"));
    radio(optGra, "optGra", QStringLiteral("Gra"), QStringLiteral("GRA"));
    row->addSpacing(16);
    auto *label = new QLabel(QStringLiteral("Numeric &Format"), body);
    label->setObjectName(QStringLiteral("lblFormat"));
    cmbFormat = new QComboBox(body);
    cmbFormat->setObjectName(QStringLiteral("cmbFormat"));
    cmbFormat->setEditable(true);
    cmbFormat->setInsertPolicy(QComboBox::NoInsert);
    cmbFormat->addItems(kFormats);
    cmbFormat->setMinimumContentsLength(14);
    cmbFormat->setToolTip(QStringLiteral("Numeric format of the answers"));
    label->setBuddy(cmbFormat);
    row->addWidget(label);
    row->addWidget(cmbFormat);
    row->addStretch();
    pctOptions->addWidget(body);
    connect(cmbFormat, &QComboBox::activated, this, &MDInomix::cmbFormat_Click);
    connect(cmbFormat->lineEdit(), &QLineEdit::textEdited, this, &MDInomix::setNumericFormat);
}

void MDInomix::buildStatusLine() {
    QStatusBar *bar = statusBar();
    bar->setObjectName(QStringLiteral("pctToolTips"));
    lblHelp = new QLabel(QStringLiteral("Tooltips"), bar);
    lblHelp->setObjectName(QStringLiteral("lblHelp"));
    lblTutorStatus = new QLabel(bar);
    lblTutorStatus->setObjectName(QStringLiteral("lblTutorStatus"));
    lblReminder = new QLabel(bar);
    lblReminder->setObjectName(QStringLiteral("lblReminder"));
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    lblReminder->setFont(mono);
    lblReminder->setMinimumWidth(QFontMetrics(mono).horizontalAdvance(QLatin1Char('M')) * 40);
    bar->addWidget(lblHelp, 1);
    bar->addWidget(lblTutorStatus);
    bar->addPermanentWidget(lblReminder);
}

// ---- windows ----

QMdiSubWindow *MDInomix::subWindowOf(const QWidget *w) const {
    for (QMdiSubWindow *sub : mdi_->subWindowList())
        if (sub->widget() == w) return sub;
    return nullptr;
}

DesignWindow *MDInomix::placeholder(const QString &formName) { return new frmPlaceholder(formName); }

DesignWindow *MDInomix::openForm(const QString &formName) {
    QPointer<QMdiSubWindow> &sub = windows_[formName];
    // A window closed a moment ago waits for its deletion: it is not reopened.
    if (sub && sub->isHidden()) sub = nullptr;
    if (!sub) {
        DesignWindow *w = nullptr;
        if (formName == QLatin1String("frmNOMIX")) w = new frmNOMIX;
        else if (formName == QLatin1String("frmOptions")) w = new frmOptions(this);
        else w = createToolWindow(formName);
        if (!w) w = placeholder(formName);
        sub = mdi_->addSubWindow(w);
        sub->setAttribute(Qt::WA_DeleteOnClose);
        sub->setWindowTitle(w->windowTitle());
        sub->setObjectName(QStringLiteral("sub_") + formName);
        connect(w, &QWidget::windowTitleChanged, sub, &QMdiSubWindow::setWindowTitle);
        if (formName == QLatin1String("frmNOMIX")) sub->move(0, 0);
        sub->resize(sub->sizeHint().expandedTo(w->size() + QSize(8, 30)));
    }
    if (sub->isMinimized()) sub->showNormal();
    else sub->show();
    mdi_->setActiveSubWindow(sub);
    auto *w = qobject_cast<DesignWindow *>(sub->widget());
    return qobject_cast<frmPlaceholder *>(w) ? nullptr : w;
}

DesignWindow *MDInomix::activeDesignWindow() const {
    QMdiSubWindow *sub = mdi_->activeSubWindow();
    if (!sub) sub = mdi_->currentSubWindow();
    return sub ? qobject_cast<DesignWindow *>(sub->widget()) : nullptr;
}

frmNOMIX *MDInomix::calculatorWindow() const {
    QMdiSubWindow *sub = windows_.value(QStringLiteral("frmNOMIX"));
    return sub ? qobject_cast<frmNOMIX *>(sub->widget()) : nullptr;
}

// The File menu follows the active window: its print caption and its files.
void MDInomix::windowActivated(QMdiSubWindow *sub) {
    auto *w = sub ? qobject_cast<DesignWindow *>(sub->widget()) : nullptr;
    mnuPrint->setText(w ? w->printCaption() : QStringLiteral("&Print Session"));
    bool calc = qobject_cast<frmNOMIX *>(w) != nullptr;
    mnuOpen->setText(calc ? QStringLiteral("Open Session") : QStringLiteral("&Open..."));
    mnuSave->setText(calc ? QStringLiteral("Save Session As...") : QStringLiteral("&Save..."));
    mnuOpen->setEnabled(w && (w->fixedFile() || !w->openFilter().isEmpty()));
    mnuSave->setEnabled(w && (w->fixedFile() || !w->saveFilter().isEmpty()));
}

void MDInomix::tileHorizontally() {
    const QList<QMdiSubWindow *> subs = mdi_->subWindowList();
    QList<QMdiSubWindow *> shown;
    for (QMdiSubWindow *s : subs)
        if (s->isVisible() && !s->isMinimized()) shown << s;
    if (shown.isEmpty()) return;
    const int h = mdi_->viewport()->height() / int(shown.size());
    int y = 0;
    for (QMdiSubWindow *s : shown) {
        s->showNormal();
        s->setGeometry(0, y, mdi_->viewport()->width(), h);
        y += h;
    }
}

void MDInomix::tileVertically() {
    QList<QMdiSubWindow *> shown;
    for (QMdiSubWindow *s : mdi_->subWindowList())
        if (s->isVisible() && !s->isMinimized()) shown << s;
    if (shown.isEmpty()) return;
    const int w = mdi_->viewport()->width() / int(shown.size());
    int x = 0;
    for (QMdiSubWindow *s : shown) {
        s->showNormal();
        s->setGeometry(x, 0, w, mdi_->viewport()->height());
        x += w;
    }
}

// ---- load and settings ----

void MDInomix::load() {
    openForm(QStringLiteral("frmNOMIX"));
    refreshOptions();
    loaded_ = true;
    Timer1->start();
    ReminderTimer->start();
    Settings s = settingsCopy();
    if (s.sessionRecall && !maximizeCalculator_ && QFileInfo::exists(QStringLiteral("nomix.tmp")))
        recallSession();
    else if (QMdiSubWindow *sub = windows_.value(QStringLiteral("frmNOMIX")))
        sub->showMaximized();
    QPointer<MDInomix> self(this);
    engine().run([] {
        if (Application *a = currentApplication()) runStartupScript(*a);
    });
    // The user (or a signal) may have closed the window while the script ran.
    if (!self || closing_) return;
    if (frmNOMIX *c = calculatorWindow()) {
        c->refreshFromCore();
        c->inputLine()->setFocus();
    }
}

// The settings given to the engine (answer variable, angle) and shown.
void MDInomix::refreshOptions() {
    Settings s;
    engine().run([&] {
        if (Application *a = currentApplication()) {
            applySettings(*a);
            s = a->settings();
        }
    });
    refreshing_ = true;
    pctOptions->setVisible(s.showNumericOptions);
    pctToolBar->setVisible(s.showToolbar);
    mnuShowOptions->setChecked(s.showNumericOptions);
    mnuShowToolbar->setChecked(s.showToolbar);
    chkDec->setChecked(s.dec);
    chkBin->setChecked(s.bin);
    chkOct->setChecked(s.oct);
    chkHex->setChecked(s.hex);
    mnuDec->setChecked(s.dec);
    mnuBin->setChecked(s.bin);
    mnuOct->setChecked(s.oct);
    mnuHex->setChecked(s.hex);
    mnuSessionRecall->setChecked(s.sessionRecall);
    cmbFormat->setCurrentIndex(-1);
    cmbFormat->setEditText(qs(s.numericFormat));
    QString angle = qs(s.angle);
    optDeg->setChecked(angle == QLatin1String("DEG"));
    optGra->setChecked(angle == QLatin1String("GRA"));
    optRad->setChecked(angle != QLatin1String("DEG") && angle != QLatin1String("GRA"));
    mnuDegree->setChecked(optDeg->isChecked());
    mnuGradient->setChecked(optGra->isChecked());
    mnuRadian->setChecked(optRad->isChecked());
    refreshing_ = false;
}

// A display flag from a box or the menu; both show it, the calculation reads it.
void MDInomix::setDisplayFlag(char flag, bool on) {
    changeSettings([flag, on](Application &a) {
        Settings &s = a.settings();
        CalculatorSettings &c = a.calculator().settings();
        switch (flag) {
        case 'd': s.dec = c.dec = on; break;
        case 'b': s.bin = c.bin = on; break;
        case 'o': s.oct = c.oct = on; break;
        default: s.hex = c.hex = on; break;
        }
    });
    QCheckBox *box = flag == 'd' ? chkDec : flag == 'b' ? chkBin : flag == 'o' ? chkOct : chkHex;
    QAction *entry = flag == 'd' ? mnuDec : flag == 'b' ? mnuBin : flag == 'o' ? mnuOct : mnuHex;
    box->setChecked(on);
    entry->setChecked(on);
}

void MDInomix::setAngle(const QString &angle) {
    std::string a = angle.toStdString();
    changeSettings([a](Application &app) {
        app.settings().angle = a;
        app.binding().SetAngleMode(a == "DEG" ? AngleUnit::Degrees : a == "GRA" ? AngleUnit::Grads : AngleUnit::Radians);
    });
    optRad->setChecked(angle == QLatin1String("RAD"));
    optDeg->setChecked(angle == QLatin1String("DEG"));
    optGra->setChecked(angle == QLatin1String("GRA"));
    mnuRadian->setChecked(optRad->isChecked());
    mnuDegree->setChecked(optDeg->isChecked());
    mnuGradient->setChecked(optGra->isChecked());
}

void MDInomix::setNumericFormat(const QString &text) {
    if (refreshing_) return;
    std::string f = text.toStdString();
    changeSettings([f](Application &a) { a.settings().numericFormat = a.calculator().settings().format = f; });
}

// "User defined" empties the box for the user's own format.
void MDInomix::cmbFormat_Click(int index) {
    if (cmbFormat->itemText(index) == QLatin1String("User defined")) {
        cmbFormat->setCurrentIndex(-1);
        cmbFormat->clearEditText();
        cmbFormat->setFocus();
    }
    setNumericFormat(cmbFormat->currentText());
}

void MDInomix::mnuSessionRecall_Click() {
    bool on = mnuSessionRecall->isChecked();
    changeSettings([on](Application &a) { a.settings().sessionRecall = on; });
    if (on) return;
    // Off at once, even if Nomix does not end normally: the line is appended now.
    QFile old(QStringLiteral("nomix.def"));
    QByteArray text;
    if (old.open(QIODevice::ReadOnly)) text = old.readAll();
    old.close();
    if (!text.isEmpty() && !text.endsWith('\n')) text += "\r\n";
    text += "Session Recall=False\r\n";
    QSaveFile out(QStringLiteral("nomix.def"));
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size() || !out.commit())
        lblHelp->setText(QStringLiteral("nomix.def could not be written"));
}

void MDInomix::mnuSaveSettings_Click() {
    SaveOutcome outcome;
    engine().run([&] { outcome = nomix::saveSettings("nomix.def", app().settings()); });
    if (!outcome.ok)
        QMessageBox::warning(this, QStringLiteral("Nomix"), QStringLiteral("nomix.def was not saved: %1").arg(qs(outcome.error)));
}

void MDInomix::mnuResetSettings_Click() {
    SaveOutcome outcome;
    engine().run([&] { outcome = nomix::resetSettings("nomix.def", app().settings()); });
    refreshOptions();
    if (!outcome.ok)
        QMessageBox::warning(this, QStringLiteral("Nomix"), QStringLiteral("nomix.def was not saved: %1").arg(qs(outcome.error)));
}

// ---- File ----

// Closes this frame as Exit does and opens a fresh one with the calculator
// maximised (once the close has happened: a running script may delay it).
void MDInomix::mnuNewSession_Click() {
    newSessionPending_ = true;
    close();
}

// The fresh frame of New Session: empty lists, the calculator maximised, and
// Nomix.nx run again as it loads.
void MDInomix::openFreshFrame() {
    engine().run([] {
        if (Application *a = currentApplication()) {
            a->calculator().clearAll();
            a->calculator().unload();
        }
    });
    auto *fresh = new MDInomix(host_, true);
    fresh->show();
    QPointer<MDInomix> next(fresh);
    QMetaObject::invokeMethod(qApp, [next] { if (next) next->load(); }, Qt::QueuedConnection);
}

void MDInomix::mnuOpen_Click() {
    DesignWindow *w = activeDesignWindow();
    if (!w) return;
    if (w->fixedFile()) {
        w->openFile(QString());
        return;
    }
    QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Open"), QDir::currentPath(), w->openFilter());
    if (!path.isEmpty()) w->openFile(path);
}

void MDInomix::mnuSave_Click() {
    DesignWindow *w = activeDesignWindow();
    if (!w) return;
    if (w->fixedFile()) {
        w->saveFile(QString(), QString());
        return;
    }
    QString filter;
    QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save As"), QDir::currentPath(), w->saveFilter(), &filter);
    if (!path.isEmpty()) w->saveFile(path, filter);
}

void MDInomix::mnuPrintSetup_Click() {
    QPageSetupDialog dialog(&sharedPrinter(), this);
    dialog.exec();
}

void MDInomix::mnuPrint_Click() {
    QPrintDialog dialog(&sharedPrinter(), this);
    dialog.setWindowTitle(mnuPrint->text().remove(QLatin1Char('&')));
    if (dialog.exec() == QDialog::Accepted) printActive(sharedPrinter());
}

void MDInomix::printActive(QPrinter &printer) {
    DesignWindow *w = activeDesignWindow();
    if (!w) return;
    QPainter painter;
    if (!painter.begin(&printer)) {
        QMessageBox::warning(this, QStringLiteral("Nomix"), QStringLiteral("The printer could not be started."));
        return;
    }
    QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
    page.moveTo(0, 0);
    w->printPage(painter, page);
    painter.end();
}

// The printed page, drawn onto an image, goes to the clipboard.
void MDInomix::mnuSpecialCopy_Click() {
    DesignWindow *w = activeDesignWindow();
    QClipboard *clip = QGuiApplication::clipboard();
    clip->clear();
    if (!w) return;
    QImage image(QSize(794, 1123), QImage::Format_RGB32);  // A4 at 96 dpi
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setPen(Qt::black);
    w->printPage(painter, QRect(48, 48, image.width() - 96, image.height() - 96));
    painter.end();
    clip->setImage(image);
}

// ---- Edit ----

namespace {

QLineEdit *lineEditOf(QWidget *w) {
    if (auto *e = qobject_cast<QLineEdit *>(w)) return e;
    if (auto *c = qobject_cast<QComboBox *>(w)) return c->lineEdit();
    return nullptr;
}

} // namespace

void MDInomix::mnuCut_Click() {
    QWidget *w = QApplication::focusWidget();
    if (QLineEdit *e = lineEditOf(w)) e->cut();
    else if (auto *t = qobject_cast<QTextEdit *>(w)) t->cut();
    else if (auto *p = qobject_cast<QPlainTextEdit *>(w)) p->cut();
}

void MDInomix::mnuCopy_Click() {
    QWidget *w = QApplication::focusWidget();
    if (QLineEdit *e = lineEditOf(w)) e->copy();
    else if (auto *t = qobject_cast<QTextEdit *>(w)) t->copy();
    else if (auto *p = qobject_cast<QPlainTextEdit *>(w)) p->copy();
    else if (auto *l = qobject_cast<QListWidget *>(w); l && l->currentItem())
        QGuiApplication::clipboard()->setText(l->currentItem()->text());
}

// Multi-line boxes take the text as it is; a one-line box or a combo box takes
// it with its line breaks removed, since it cannot hold them.
void MDInomix::mnuPaste_Click() {
    QWidget *w = QApplication::focusWidget();
    QString text = QGuiApplication::clipboard()->text();
    if (QLineEdit *e = lineEditOf(w)) {
        text.remove(QStringLiteral("\r\n"));
        text.remove(QLatin1Char('\n'));
        text.remove(QLatin1Char('\r'));
        e->insert(text);
        emit e->textEdited(e->text());
    } else if (auto *t = qobject_cast<QTextEdit *>(w)) {
        t->insertPlainText(text);
    } else if (auto *p = qobject_cast<QPlainTextEdit *>(w)) {
        p->insertPlainText(text);
    }
}

// ---- Favorites, buttons, timers ----

void MDInomix::mnuFavorite_Click(int index) {
    engine().post([index] {
        Application *a = currentApplication();
        if (!a || index < 0 || index >= ScriptState::kFavorites) return;
        std::string code = a->scripts().favoriteCodes[size_t(index)];
        if (!code.empty()) a->binding().EvalStr(code);
    });
}

void MDInomix::mnuFavoritesEdit_Click() { openEditor(QStringLiteral("UserDefs.nx")); }

void MDInomix::setFavoriteCaption(int index, const QString &caption) {
    if (index >= 1 && index <= 10) mnuFavorite[size_t(index)]->setText(caption);
}

// Evaluates "P_Button" + i: a script gives the button its action by defining it.
void MDInomix::btnProg_Click(int index) {
    pctToolBar->setFocus();
    std::string expr = "P_Button" + std::to_string(index);
    // A script's {PUSH} runs the action before the script's next line, as a click would.
    if (engine().waitingForWindows()) engine().run([expr] { binding().EvalStr(expr); });
    else engine().post([expr] { binding().EvalStr(expr); });
}

void MDInomix::setProgrammableButton(int index, const QString &caption, const QString &toolTip, bool visible) {
    if (index < 1 || index > 7) return;
    QToolButton *b = btnProg[size_t(index)];
    b->setText(caption);
    b->setToolTip(toolTip);
    for (QAction *a : pctToolBar->actions())
        if (a->objectName() == QStringLiteral("actProg%1").arg(index)) a->setVisible(visible);
}

void MDInomix::UserTimer_Timer() {
    // A tick while the last Timer_Event still runs is dropped, not queued up.
    if (timerEventPending_ || engine().computing()) return;
    timerEventPending_ = true;
    QPointer<MDInomix> self(this);
    engine().post([self] {
        binding().EvalStr("Timer_Event");
        QMetaObject::invokeMethod(qApp, [self] { if (self) self->timerEventPending_ = false; }, Qt::QueuedConnection);
    });
}

void MDInomix::setUserTimer(int milliseconds) {
    if (milliseconds <= 0) UserTimer->stop();
    else UserTimer->start(milliseconds);
}

void MDInomix::ReminderTimer_Timer() {
    if (reminderShown_.trimmed().isEmpty() || engine().computing()) return;
    engine().post([] {
        if (Application *a = currentApplication()) reminderTick(a->scripts(), a->host());
    });
}

void MDInomix::showReminder(const QString &text) {
    reminderShown_ = text;
    lblReminder->setText(text);
}

// The tip of the control under the mouse pointer goes to the help line.
void MDInomix::Timer1_Timer() {
    QWidget *w = QApplication::widgetAt(QCursor::pos());
    QString tip;
    for (; w && tip.isEmpty(); w = w->parentWidget()) {
        if (w == this) break;
        tip = w->toolTip();
    }
    if (!tip.isEmpty()) lblHelp->setText(tip);
}

QString MDInomix::tutorStatus() const { return lblTutorStatus->text(); }
void MDInomix::setTutorStatus(const QString &text) { lblTutorStatus->setText(text); }

// The user's editor ($VISUAL, $EDITOR, else the desktop's opener), detached.
long MDInomix::openEditor(const QString &file) {
    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QString path = QFileInfo(file).absoluteFilePath();
    QStringList command;
    for (const char *var : {"VISUAL", "EDITOR"}) {
        QString value = env.value(QString::fromLatin1(var)).trimmed();
        if (!value.isEmpty()) {
            command = QProcess::splitCommand(value);
            break;
        }
    }
    if (command.isEmpty()) command << QStringLiteral("xdg-open");
    QString program = command.takeFirst();
    command << path;
    qint64 pid = 0;
    if (!QProcess::startDetached(program, command, QDir::currentPath(), &pid)) {
        lblHelp->setText(QStringLiteral("The editor %1 could not be started").arg(program));
        return 0;
    }
    return long(pid);
}

// ---- Help ----

QString MDInomix::contextHelpTopic() const {
    QWidget *f = QApplication::focusWidget();
    for (QWidget *w = f; w; w = w->parentWidget()) {
        const QString n = w->objectName();
        if (n == QLatin1String("cmbFormat")) return QStringLiteral("NumericFormatsPre.htm");
        if (n == QLatin1String("chkDec") || n == QLatin1String("chkBin") || n == QLatin1String("chkOct") ||
            n == QLatin1String("chkHex"))
            return QStringLiteral("NumericBases.htm");
        if (n == QLatin1String("optRad") || n == QLatin1String("optDeg") || n == QLatin1String("optGra"))
            return QStringLiteral("AngleModes.htm");
        if (auto *d = qobject_cast<DesignWindow *>(w)) return d->helpTopic();
    }
    if (DesignWindow *d = activeDesignWindow()) return d->helpTopic();
    return QStringLiteral("Overview.htm");
}

void MDInomix::mnuContents_Click() { showHelp(contextHelpTopic()); }

void MDInomix::showHelp(const QString &topic) {
    auto *browser = findChild<HelpBrowser *>(QStringLiteral("HelpBrowser"));
    if (!browser) browser = new HelpBrowser(this);
    browser->showTopic(topic);
}

void MDInomix::mnuAbout_Click() {
    auto *about = new frmSplash(frmSplash::Mode::About, this);
    about->setAttribute(Qt::WA_DeleteOnClose);
    about->show();
}

// ---- script controls ----

QWidget *MDInomix::scriptControl(const ControlRef &control) {
    const QString name = qs(control.name);
    if (name == QLatin1String("NOMIX")) return this;
    if (name == QLatin1String("FORMAT")) return cmbFormat;
    if (name == QLatin1String("P_BUTTON"))
        return control.index >= 1 && control.index <= 7 ? btnProg[size_t(control.index)] : nullptr;
    if (name == QLatin1String("BUTTON"))
        return control.index >= 1 && control.index <= 7 ? toolButtons_[size_t(control.index)] : nullptr;
    if (name == QLatin1String("CONTINUE")) {
        tutor_->show();
        return tutor_->continueButton();
    }
    const QString form = windowOfControl(name);
    if (form.isEmpty()) return nullptr;
    // A tool this build does not have yet has no controls: no placeholder pops up for a script.
    if (!windows_.value(form) && form != QLatin1String("frmNOMIX")) {
        std::unique_ptr<DesignWindow> probe(createToolWindow(form));
        if (!probe) return nullptr;
    }
    DesignWindow *w = openForm(form);
    return w ? w->scriptControl(name, control.index) : nullptr;
}

QString MDInomix::controlText(const ControlRef &control) {
    QWidget *w = scriptControl(control);
    if (!w) return {};
    if (w == this) return windowTitle();
    if (auto *c = qobject_cast<QComboBox *>(w)) return c->currentText();
    if (auto *e = qobject_cast<QLineEdit *>(w)) return e->text();
    if (auto *b = qobject_cast<QAbstractButton *>(w)) return b->text();
    if (auto *l = qobject_cast<QListWidget *>(w)) return l->currentItem() ? l->currentItem()->text() : QString();
    if (auto *t = qobject_cast<QTextEdit *>(w)) return t->toPlainText();
    if (auto *p = qobject_cast<QPlainTextEdit *>(w)) return p->toPlainText();
    if (auto *l = qobject_cast<QLabel *>(w)) return l->text();
    return {};
}

void MDInomix::setControlText(const ControlRef &control, const QString &text, int caret) {
    QWidget *w = scriptControl(control);
    if (!w) return;
    if (w == this) setWindowTitle(text);
    else if (auto *c = qobject_cast<QComboBox *>(w)) {
        c->setEditText(text);
        if (c->lineEdit()) c->lineEdit()->setCursorPosition(caret);
        // The calculator's line is the core's: the native set it there already.
        if (control.name != "EXPRESSION" && c->lineEdit()) emit c->lineEdit()->textEdited(text);
    } else if (auto *e = qobject_cast<QLineEdit *>(w)) {
        e->setText(text);
        e->setCursorPosition(caret);
        emit e->textEdited(text);
        // The parameter boxes are the calculation's too.
        if (control.name == "FROM" || control.name == "TO") {
            size_t box = control.name == "FROM" ? 0 : 1;
            std::string value = text.toStdString();
            engine().run([box, value] {
                if (Application *a = currentApplication()) a->calculator().parameters()[box] = value;
            });
        }
    } else if (auto *b = qobject_cast<QAbstractButton *>(w)) b->setText(text);
    else if (auto *t = qobject_cast<QTextEdit *>(w)) t->setPlainText(text);
    else if (auto *p = qobject_cast<QPlainTextEdit *>(w)) p->setPlainText(text);
}

void MDInomix::focusControl(const ControlRef &control) {
    QWidget *w = scriptControl(control);
    if (!w) return;
    if (QMdiSubWindow *sub = subWindowOf(w->window() == this ? nullptr : w)) mdi_->setActiveSubWindow(sub);
    for (QWidget *p = w; p; p = p->parentWidget())
        if (auto *sub = qobject_cast<QMdiSubWindow *>(p)) mdi_->setActiveSubWindow(sub);
    activateWindow();
    w->setFocus();
}

void MDInomix::showDropDown(const ControlRef &control, bool show) {
    auto *c = qobject_cast<QComboBox *>(scriptControl(control));
    if (!c) return;
    if (show) c->showPopup();
    else c->hidePopup();
}

void MDInomix::pressKey(const ControlRef &control, int classicKey) {
    QWidget *w = scriptControl(control);
    if (!w) return;
    if (auto *c = qobject_cast<QComboBox *>(w); c && c->lineEdit() &&
                                                 classicKey != int(Key::Up) && classicKey != int(Key::Down))
        w = c->lineEdit();
    sendKeyNow(w, qtKeyOf(classicKey), QString());
}

void MDInomix::sendChar(const ControlRef &control, char character) {
    QWidget *w = scriptControl(control);
    if (!w) return;
    if (auto *c = qobject_cast<QComboBox *>(w); c && c->lineEdit()) w = c->lineEdit();
    if (character == '\r') sendKeyNow(w, Qt::Key_Return, QStringLiteral("\r"));
    else sendKeyNow(w, 0, QString(QLatin1Char(character)));
}

void MDInomix::openMenuBar() {
    if (frmNOMIX *c = calculatorWindow()) postKey(c, Qt::Key_Alt, QString());
    if (!menuBar()->actions().isEmpty()) menuBar()->setActiveAction(nullptr);
}

void MDInomix::sendKeys(const QString &keys, bool wait) {
    QString error = postKeySequence(keys);
    if (!error.isEmpty()) lblHelp->setText(QStringLiteral("SendKeys: %1").arg(error));
    if (wait) QCoreApplication::processEvents();
}

WindowGeometry MDInomix::geometryTwips() const {
    QRect g = frameGeometry();
    return {int(pixelsToTwips(g.left(), this)), int(pixelsToTwips(g.top(), this)),
            int(pixelsToTwips(g.width(), this)), int(pixelsToTwips(g.height(), this))};
}

void MDInomix::moveTwips(int left, int top) { move(twipsToPixels(left, this), twipsToPixels(top, this)); }

void MDInomix::resetCalculatorWindow() {
    openForm(QStringLiteral("frmNOMIX"));
    if (QMdiSubWindow *sub = windows_.value(QStringLiteral("frmNOMIX"))) sub->showMaximized();
    if (frmNOMIX *c = calculatorWindow()) c->resetInput();
}

void MDInomix::resetOptionsBar() {
    refreshing_ = true;
    for (QCheckBox *b : {chkBin, chkOct, chkHex}) b->setChecked(false);
    chkDec->setChecked(true);
    mnuDec->setChecked(true);
    for (QAction *a : {mnuBin, mnuOct, mnuHex}) a->setChecked(false);
    optRad->setChecked(true);
    mnuRadian->setChecked(true);
    cmbFormat->setCurrentIndex(-1);
    cmbFormat->clearEditText();
    refreshing_ = false;
    // ResetOptions changed the calculation's flags; the settings follow them.
    engine().post([] {
        if (Application *a = currentApplication()) {
            Settings &s = a->settings();
            s.dec = true;
            s.bin = s.oct = s.hex = false;
            s.angle = "RAD";
            s.numericFormat.clear();
        }
    });
}

// ---- closing and sessions ----

void MDInomix::closeEvent(QCloseEvent *event) {
    if (savingSession_ || closing_) {
        event->ignore();
        return;
    }
    host_.setClosing();
    appVariables().quit = 1;
    // No new timer work while the window goes: running scripts end on the flags.
    Timer1->stop();
    UserTimer->stop();
    ReminderTimer->stop();
    Application *a = currentApplication();
    // A script waiting for input ends because of the closing flag, then unloads this window.
    if ((a && a->scripts().waiting) || engine().busy()) {
        EngineThread::requestStop();
        event->ignore();
        QPointer<MDInomix> self(this);
        // Tried again until the work has ended: each try that finds it still busy asks anew.
        QTimer::singleShot(100, this, [self] {
            if (self) self->close();
        });
        return;
    }
    {
        // The session-state file is written on every exit (it is only read back
        // when recall is on); the settings are saved with it only when recall is on.
        QPointer<MDInomix> self(this);
        savingSession_ = true;
        saveSession(settingsCopy().sessionRecall);
        if (!self) return;
        savingSession_ = false;
    }
    closing_ = true;
    if (auto *help = findChild<HelpBrowser *>(QStringLiteral("HelpBrowser"))) help->close();
    mdi_->closeAllSubWindows();
    // The fresh frame is up before this one goes, so the program does not end.
    if (newSessionPending_) openFreshFrame();
    event->accept();
    emit closed();
    // The program ends with its main window, even when a window job's wait was
    // running as it closed (then Qt's last-window check never quits).
    if (!newSessionPending_) QCoreApplication::quit();
}

namespace {

int stateOf(const QWidget *w) { return w->isMinimized() ? 1 : w->isMaximized() ? 2 : 0; }

} // namespace

bool MDInomix::saveSession(bool withSettings) {
    QVector<SessionWindow> windows;
    SessionWindow main;
    main.name = QStringLiteral("MDInomix");
    main.state = stateOf(this);
    if (main.state == 0) {
        // The window's own geometry (without the frame), as setGeometry takes it back.
        main.hasGeometry = true;
        const QRect g = geometry();
        main.twips = QRect(int(pixelsToTwips(g.left(), this)), int(pixelsToTwips(g.top(), this)),
                           int(pixelsToTwips(g.width(), this)), int(pixelsToTwips(g.height(), this)));
    }
    main.lines << cmbFormat->currentText();
    windows << main;
    for (QMdiSubWindow *sub : mdi_->subWindowList(QMdiArea::CreationOrder)) {
        auto *w = qobject_cast<DesignWindow *>(sub->widget());
        if (!w || qobject_cast<frmPlaceholder *>(w)) continue;
        SessionWindow s;
        s.name = w->formName();
        s.state = stateOf(sub);
        if (s.state == 0 && s.name != QLatin1String("frmPlot")) {
            s.hasGeometry = true;
            QRect g = sub->geometry();
            s.twips = QRect(int(pixelsToTwips(g.left(), this)), int(pixelsToTwips(g.top(), this)),
                            int(pixelsToTwips(g.width(), this)), int(pixelsToTwips(g.height(), this)));
        }
        s.lines = w->sessionRecords();
        windows << s;
    }
    QString error;
    bool ok = writeSessionFile(QStringLiteral("nomix.tmp"), windows, &error);
    SaveOutcome settings;
    settings.ok = true;
    if (withSettings) engine().run([&] { settings = nomix::saveSettings("nomix.def", app().settings()); });
    if (!ok) qWarning("nomix: nomix.tmp was not written: %s", qPrintable(error));
    if (!settings.ok) qWarning("nomix: nomix.def was not written: %s", settings.error.c_str());
    return ok && settings.ok;
}

// Opens every window the file names and gives each its records; what could not
// be read is reported once, and the rest of the session still comes back.
void MDInomix::recallSession() {
    SessionLoad load = readSessionFile(QStringLiteral("nomix.tmp"));
    QStringList skipped;
    for (const SessionWindow &s : load.windows) {
        if (s.name == QLatin1String("MDInomix")) {
            if (s.state == 2) showMaximized();
            else if (s.hasGeometry && s.twips.width() > 0 && s.twips.height() > 0)
                setGeometry(twipsToPixels(s.twips.left(), this), twipsToPixels(s.twips.top(), this),
                            twipsToPixels(s.twips.width(), this), twipsToPixels(s.twips.height(), this));
            continue;
        }
        DesignWindow *w = openForm(s.name);
        QMdiSubWindow *sub = windows_.value(s.name);
        if (!w || !sub) {
            if (sub) sub->close();
            skipped << s.name;
            continue;
        }
        if (s.state == 2) sub->showMaximized();
        else if (s.state == 1) sub->showMinimized();
        else if (s.hasGeometry && s.twips.width() > 0 && s.twips.height() > 0)
            sub->setGeometry(twipsToPixels(s.twips.left(), this), twipsToPixels(s.twips.top(), this),
                             twipsToPixels(s.twips.width(), this), twipsToPixels(s.twips.height(), this));
        RecordReader reader(s.lines);
        w->restoreSession(reader);
    }
    QString report = load.problems;
    if (!skipped.isEmpty())
        report += (report.isEmpty() ? QString() : QStringLiteral("\n")) +
                  QStringLiteral("Windows not in this version: %1").arg(skipped.join(QStringLiteral(", ")));
    if (!report.isEmpty()) {
        qWarning("nomix: nomix.tmp: %s", qPrintable(report));
        auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Nomix"),
                                    QStringLiteral("Part of the last session could not be recalled."), QMessageBox::Ok, this);
        box->setObjectName(QStringLiteral("sessionReport"));
        box->setDetailedText(report);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setModal(false);
        box->show();
    }
}

} // namespace nomix::gui
