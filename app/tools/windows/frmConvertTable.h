// The conversion table editor: the pairs of one category in a grid, fields to
// edit a pair, and Save, which writes "nomix.cnv" back. The editing rules live
// in nomix::ConversionEditor.
#pragma once

#include "designwindow.h"
#include "tools/conversioneditor.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace nomix::gui {

class frmConvertTable : public DesignWindow {
    Q_OBJECT
public:
    explicit frmConvertTable(QWidget *parent = nullptr);

    QString formName() const override { return QStringLiteral("frmConvertTable"); }
    QString openFilter() const override;
    bool openFile(const QString &path) override;
    bool saveFile(const QString &path, const QString &chosenFilter) override;
    QString printCaption() const override { return QStringLiteral("Print Units"); }
    void printPage(QPainter &painter, const QRect &page) override;
    QString helpTopic() const override { return QStringLiteral("ConversionTable.htm"); }
    void showSample(int index) override;

    const ConversionEditor &editor() const { return editor_; }

    void btnAdd_Click();
    void btnDelete_Click();
    void btnSaveAll_Click();
    void cmbCancel_Click();
    void cmbCategory_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void fillCategories(const QString &select);
    void showCategory();
    void grdConvertTable_Click(int row);
    void closeAndReloadConverter();
    int category() const;

    ConversionEditor editor_;
    bool fullyRead_ = true;
    QComboBox *cmbCategory = nullptr;
    QTableWidget *grdConvertTable = nullptr;
    QLineEdit *txtUnitA = nullptr;
    QLineEdit *txtUnitB = nullptr;
    QLineEdit *txtFormula1 = nullptr;
    QLineEdit *txtFormula2 = nullptr;
    QPushButton *btnAdd = nullptr;
    QPushButton *btnDelete = nullptr;
    QPushButton *btnSaveAll = nullptr;
    QPushButton *cmbCancel = nullptr;
};

} // namespace nomix::gui
