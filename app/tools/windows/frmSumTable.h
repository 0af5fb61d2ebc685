// The summation table window: an expression, its variable, the range and the
// step; the grid of value, term and running sum; the total and the last term.
// nomix::runSummation computes the table; the window shows it.
#pragma once

#include "designwindow.h"
#include "tools/summation.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace nomix::gui {

class frmSumTable : public DesignWindow {
    Q_OBJECT
public:
    explicit frmSumTable(QWidget *parent = nullptr);

    QString formName() const override { return QStringLiteral("frmSumTable"); }
    QString openFilter() const override;
    bool openFile(const QString &path) override;
    bool saveFile(const QString &path, const QString &chosenFilter) override;
    QString printCaption() const override { return QStringLiteral("Print Summation"); }
    void printPage(QPainter &painter, const QRect &page) override;
    QString helpTopic() const override { return QStringLiteral("SummationTable.htm"); }
    QStringList sessionRecords() override;
    void restoreSession(RecordReader &records) override;
    QWidget *scriptControl(const QString &name, int index) override;
    void showSample(int index) override;

    void btnCalculate_Click();
    void CalcBtnOnOff();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    SumInputs inputs() const;
    void setInputs(const SumInputs &inputs);
    void showRows(const std::vector<SumRow> &rows);

    QLineEdit *txtSumInput = nullptr;
    QLineEdit *txtVar = nullptr;
    QLineEdit *txtFrom = nullptr;
    QLineEdit *txtTo = nullptr;
    QLineEdit *txtStep = nullptr;
    QPushButton *btnCalculate = nullptr;
    QTableWidget *grdSumtable = nullptr;
    QLabel *lblTotal = nullptr;
    QLabel *lblValue = nullptr;
};

} // namespace nomix::gui
