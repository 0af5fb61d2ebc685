// The unit converter window: a category, rows of a number and a unit, and
// Convert, which fills every row from the row typed into last. The form's
// state and the conversion live in nomix::ConverterForm.
#pragma once

#include <QList>

#include "designwindow.h"
#include "tools/converterform.h"

class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;

namespace nomix::gui {

class frmConvert : public DesignWindow {
    Q_OBJECT
public:
    explicit frmConvert(QWidget *parent = nullptr);

    QString formName() const override { return QStringLiteral("frmConvert"); }
    QString openFilter() const override;
    bool openFile(const QString &path) override;
    bool saveFile(const QString &path, const QString &chosenFilter) override;
    QString printCaption() const override { return QStringLiteral("Print Results"); }
    void printPage(QPainter &painter, const QRect &page) override;
    QString helpTopic() const override { return QStringLiteral("UnitConverter.htm"); }
    QStringList sessionRecords() override;
    void restoreSession(RecordReader &records) override;
    QWidget *scriptControl(const QString &name, int index) override;
    void showSample(int index) override;

    // NumberOfEntries: the index of the last row.
    int NumberOfEntries() const { return int(form_.rows().size()) - 1; }
    const ConverterForm &form() const { return form_; }

    // Reads "nomix.cnv" again (after the table editor closed).
    void LoadConversions();

    void btnConvert_Click();
    void btnAddEntry_Click();
    void btnRemoveEntry_Click();
    void btnModify_Click();
    void cmbCategories_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct RowWidgets {
        QLabel *lblNumber;
        QLineEdit *txtNumber;
        QLabel *lblUnit;
        QComboBox *cmbUnit;
    };
    void addRowWidgets();
    void removeRowWidgets();
    void showForm();
    void fillUnitLists();
    void fitHeight();
    void markSource();

    ConverterForm form_;
    QComboBox *cmbCategories = nullptr;
    QGridLayout *rowsLayout_ = nullptr;
    QList<RowWidgets> rows_;
    QPushButton *btnConvert = nullptr;
    QPushButton *btnModify = nullptr;
    QPushButton *btnAddEntry = nullptr;
    QPushButton *btnRemoveEntry = nullptr;
    bool filling_ = false;  // the window itself sets the fields
};

} // namespace nomix::gui
