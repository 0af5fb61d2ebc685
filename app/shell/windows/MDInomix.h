// The main window: the MDI frame that holds the calculator and the tool
// windows, with the menus, the toolbar and its seven programmable buttons, the
// numeric options bar, the help line, the scrolling reminder and the timers.
// It applies the settings, routes the File and Edit commands to the active
// child window, and saves the session when it closes. Scripts reach its
// controls (and those of every window) by name through the host.
#pragma once

#include <QHash>
#include <QMainWindow>
#include <QPointer>

#include <array>

#include "shell/host.h"

class QAction;
class QActionGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QPrinter;
class QRadioButton;
class QTimer;
class QToolBar;
class QToolButton;

namespace nomix::gui {

class DesignWindow;
class DesktopHost;
class frmNOMIX;
class TutorPanel;

class MDInomix : public QMainWindow {
    Q_OBJECT
public:
    // maximizeCalculator: the fresh main window of "New Session".
    explicit MDInomix(DesktopHost &host, bool maximizeCalculator = false, QWidget *parent = nullptr);
    ~MDInomix() override;

    // MDIForm_Load: the calculator window, the settings applied, the session
    // recalled, then the start-up script.
    void load();
    bool loaded() const { return loaded_; }

    // Opens (or shows again) the design window of that name in the MDI area.
    // Windows this build does not have yet open as a placeholder (nullptr returned).
    DesignWindow *openForm(const QString &formName);
    DesignWindow *activeDesignWindow() const;
    frmNOMIX *calculatorWindow() const;
    QMdiArea *mdiArea() const { return mdi_; }
    TutorPanel *tutorPanel() const { return tutor_; }

    // RefreshOptions: the settings shown in the bars and menus and given to the engine.
    void refreshOptions();

    // What the host does for the script natives.
    WindowGeometry geometryTwips() const;
    void moveTwips(int left, int top);
    void resetCalculatorWindow();
    void resetOptionsBar();
    QWidget *scriptControl(const ControlRef &control);
    QString controlText(const ControlRef &control);
    void setControlText(const ControlRef &control, const QString &text, int caret);
    void focusControl(const ControlRef &control);
    void showDropDown(const ControlRef &control, bool show);
    void pressKey(const ControlRef &control, int classicKey);
    void sendChar(const ControlRef &control, char character);
    void openMenuBar();
    void sendKeys(const QString &keys, bool wait);
    void setProgrammableButton(int index, const QString &caption, const QString &toolTip, bool visible);
    void setFavoriteCaption(int index, const QString &caption);
    void showReminder(const QString &text);
    void setUserTimer(int milliseconds);
    QString tutorStatus() const;
    void setTutorStatus(const QString &text);
    long openEditor(const QString &file);

    // File > Print to a printer already set up (PDF files included).
    void printActive(QPrinter &printer);
    // The help browser on a topic ("Overview.htm", ...).
    void showHelp(const QString &topic);
    QString contextHelpTopic() const;
    // SaveSession: "nomix.tmp", and "nomix.def" too when withSettings. False
    // when a file was not written.
    bool saveSession(bool withSettings = true);
    void recallSession();

    // Menu handlers, named after their entries.
    void mnuNewSession_Click();
    void mnuOpen_Click();
    void mnuSave_Click();
    void mnuPrintSetup_Click();
    void mnuPrint_Click();
    void mnuCut_Click();
    void mnuCopy_Click();
    void mnuPaste_Click();
    void mnuSpecialCopy_Click();
    void mnuSessionRecall_Click();
    void mnuSaveSettings_Click();
    void mnuResetSettings_Click();
    void mnuFavorite_Click(int index);
    void mnuFavoritesEdit_Click();
    void mnuContents_Click();
    void mnuAbout_Click();
    void btnProg_Click(int index);
    void UserTimer_Timer();
    void ReminderTimer_Timer();
    void Timer1_Timer();
    void cmbFormat_Click(int index);

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildMenus();
    void buildToolBar();
    void buildOptionsBar();
    void buildStatusLine();
    QAction *addEntry(QMenu *menu, const QString &name, const QString &caption, std::function<void()> handler);
    QMdiSubWindow *subWindowOf(const QWidget *w) const;
    DesignWindow *placeholder(const QString &formName);
    void windowActivated(QMdiSubWindow *sub);
    void openFreshFrame();
    void setDisplayFlag(char flag, bool on);
    void setAngle(const QString &angle);
    void setNumericFormat(const QString &text);
    void tileHorizontally();
    void tileVertically();

    DesktopHost &host_;
    QMdiArea *mdi_ = nullptr;
    bool loaded_ = false;
    bool maximizeCalculator_ = false;
    bool closing_ = false;
    // Set while the session is saved: a window's record may run an engine job,
    // and a close retried inside that wait must not save (and close) again.
    bool savingSession_ = false;
    bool newSessionPending_ = false;
    bool refreshing_ = false;
    bool timerEventPending_ = false;
    QHash<QString, QPointer<QMdiSubWindow>> windows_;

    QToolBar *pctToolBar = nullptr;
    QToolBar *pctOptions = nullptr;
    std::array<QToolButton *, 8> btnProg{};  // 1 .. 7
    std::array<QToolButton *, 8> toolButtons_{};  // 1 .. 7
    QCheckBox *chkDec = nullptr, *chkBin = nullptr, *chkOct = nullptr, *chkHex = nullptr;
    QRadioButton *optRad = nullptr, *optDeg = nullptr, *optGra = nullptr;
    QComboBox *cmbFormat = nullptr;
    QLabel *lblHelp = nullptr;
    QLabel *lblReminder = nullptr;
    QLabel *lblTutorStatus = nullptr;
    QTimer *Timer1 = nullptr;
    QTimer *UserTimer = nullptr;
    QTimer *ReminderTimer = nullptr;
    TutorPanel *tutor_ = nullptr;

    QAction *mnuOpen = nullptr, *mnuSave = nullptr, *mnuPrint = nullptr;
    QAction *mnuSessionRecall = nullptr, *mnuShowToolbar = nullptr, *mnuShowOptions = nullptr;
    QAction *mnuDec = nullptr, *mnuBin = nullptr, *mnuOct = nullptr, *mnuHex = nullptr;
    QAction *mnuRadian = nullptr, *mnuDegree = nullptr, *mnuGradient = nullptr;
    std::array<QAction *, 11> mnuFavorite{};  // 1 .. 10
    QString reminderShown_;
};

// The printer shared by Print Set-up and Print (one per program).
QPrinter &sharedPrinter();

} // namespace nomix::gui
