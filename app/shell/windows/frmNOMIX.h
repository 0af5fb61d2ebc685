// The calculator window ("Expression Evaluator"): the input line with its recall
// list, the answer list, and the parameter boxes of the solver and integrator
// modes. The calculation itself is the core's Calculator; this window forwards
// the user's input to it on the engine thread and shows what it holds.
#pragma once

#include <QStringList>

#include <array>

#include "designwindow.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace nomix::gui {

class frmNOMIX : public DesignWindow {
    Q_OBJECT
public:
    explicit frmNOMIX(QWidget *parent = nullptr);

    QString formName() const override { return QStringLiteral("frmNOMIX"); }
    QString openFilter() const override;
    bool openFile(const QString &path) override;
    bool saveFile(const QString &path, const QString &chosenFilter) override;
    QString printCaption() const override { return QStringLiteral("&Print Session"); }
    void printPage(QPainter &painter, const QRect &page) override;
    QString helpTopic() const override;
    QStringList sessionRecords() override;
    void restoreSession(RecordReader &records) override;
    QWidget *scriptControl(const QString &name, int index) override;
    int sampleCount() const override { return 3; }
    void showSample(int index) override;

    // The Tools menu's solver and integrator modes.
    void Solve();
    void Integrate();
    // Form_Reset: the input line emptied and focused (the frame maximises).
    void resetInput();
    // The settings changed: the calculation reads them on its next run.
    void refreshFromCore();

    QComboBox *inputLine() const { return cmbExpressions; }
    QStringList answerLines() const;
    QStringList recallLines() const;

    // Handlers, named after their controls.
    void btnCalc_Click();
    void btnClear_Click();
    void btnClearAll_Click();
    void lstAnswer_Click(QListWidgetItem *item);
    void btnStop_Click();

protected:
    void closeEvent(QCloseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

public:
    // What the core holds, copied after a job (defined in the source).
    struct View;

private:
    void build();
    void applyView(const View &view, bool keepInput = false);
    void setLists(const QStringList &recall, const QStringList &answers);
    void sendInput(const QString &text);
    void fitControls();
    void engineComputing(bool computing);

    QComboBox *cmbExpressions = nullptr;
    QListWidget *lstAnswer = nullptr;
    QPushButton *btnCalc = nullptr;
    QPushButton *btnClear = nullptr;
    QPushButton *btnClearAll = nullptr;
    QPushButton *btnStop = nullptr;
    QWidget *parameters_ = nullptr;
    std::array<QLabel *, 4> lblSolve{};
    std::array<QLineEdit *, 4> txtSolve{};
    int mode_ = 0;
    unsigned long shownSerial_ = 0;  // 0 plain, 1 Solve, 2 Integrate (the core's CalcMode)
};

} // namespace nomix::gui
