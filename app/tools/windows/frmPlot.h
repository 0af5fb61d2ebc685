// The plot set-up window "Graph Equation List": up to 16 equation rows (Show
// box, graph type, equation in the row's colour, variable, From, To), the
// buttons Plot, Next Equation / Details, Clear All, Options and Hide Details.
// The list itself lives in the core's EquationList; the window shows it and
// writes edits back. Opens and saves ".gra" files (the list and the graph options).
#pragma once

#include <functional>
#include <vector>

#include "designwindow.h"
#include "tools/plotlist.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace nomix::gui {

class frmPlot : public DesignWindow {
    Q_OBJECT
public:
    explicit frmPlot(QWidget *parent = nullptr);
    ~frmPlot() override;

    // The open plot set-up window, if any (the graph window reads its list).
    static frmPlot *current();

    QString formName() const override { return QStringLiteral("frmPlot"); }
    QString openFilter() const override;
    bool openFile(const QString &path) override;
    bool saveFile(const QString &path, const QString &chosenFilter) override;
    QString printCaption() const override { return QStringLiteral("Print Graph List"); }
    void printPage(QPainter &painter, const QRect &page) override;
    QString helpTopic() const override { return QStringLiteral("PlotSetup.htm"); }
    QStringList sessionRecords() override;
    void restoreSession(RecordReader &records) override;
    QWidget *scriptControl(const QString &name, int index) override;
    int sampleCount() const override { return 1; }
    void showSample(int index) override;
    QSize sizeHint() const override { return designSize_; }

    // The list as the controls show it.
    const EquationList &list();
    int LocalError() const { return localError_; }
    void setLocalError(int value) { localError_ = value; }
    void focusEquation(int row);
    // Makes this window the active one (its frame inside the main window).
    void activate();
    // The list of the graph window's sample `index` (the graph draws it).
    void showGraphSample(int index);

    // Chooses the file of a "Data File" row; the default asks with a file dialog.
    void setDataFileChooser(std::function<QString()> chooser) { chooseDataFile_ = std::move(chooser); }

    // Handlers.
    void btnPlot_Click();
    void btnAddEntry_Click();
    void btnClear_Click();
    void btnOptions_Click();
    void btnHideDetails_Click();
    void cmbType_Click(int row);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    struct RowControls {
        QCheckBox *chkShow;
        QComboBox *cmbType;
        QLineEdit *txtEquation, *txtVar, *txtFrom, *txtTo;
    };
    void createRow(int index);
    void destroyRowsAfter(int last);
    void showRow(int index, const EquationRow &row);
    EquationRow rowAt(int index) const;
    void showList(const EquationList &list);
    void layoutWindow();
    int rowTop(int index) const;
    bool enterPressed(QObject *watched);
    void applyTypeToRow(int row, GraphType type, const QString &dataFile);

    EquationList list_;
    std::vector<RowControls> rows_;
    QPushButton *btnPlot_, *btnAddEntry_, *btnClear_, *btnOptions_, *btnHideDetails_;
    QLabel *lblEquation_, *lblVar_, *lblFrom_, *lblTo_;
    bool detailsHidden_ = false;
    bool placed_ = false;
    bool updating_ = false;
    int localError_ = 0;
    QSize designSize_;
    std::function<QString()> chooseDataFile_;
};

} // namespace nomix::gui
